#pragma once
// Text and path helpers shared by every part of the program. Plain C++.

#include <string>
#include <string_view>
#include <vector>

// The text between the first `start` and the first `end` after it; empty
// when either marker is missing. Case-sensitive.
std::string CutBetween(std::string_view text, std::string_view start, std::string_view end);

// Removes leading and trailing characters of code 32 or below.
std::string Trim(std::string_view text);

// Splits at CR LF, lone CR and lone LF. A break at the very end starts no
// further line; an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);

// Keeps a text ending in '/', otherwise appends one; "" becomes "/".
std::string AppendSlash(std::string path);

// Reads a decimal number written with '.' whatever the locale. The whole
// text must be the number. False when it is not one.
bool ParseDecimal(std::string_view text, double& value);

// Reads a whole decimal number (optional sign) that fits in 32 bits. The
// whole text must be the number.
bool ParseInt32(std::string_view text, int& value);

// ASCII upper case of a to z only.
std::string UpperAscii(std::string_view text);

bool Contains(std::string_view text, std::string_view part);
