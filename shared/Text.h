#pragma once
// Text helpers shared by every layer. Plain C++ on UTF-8 byte strings.

#include <string>
#include <string_view>
#include <vector>

namespace quillmarsh {

// The text between the first `start` and the first `end` after it; empty
// when either marker is missing. Case-sensitive.
std::string CutBetween(std::string_view text, std::string_view start, std::string_view end);

// Removes leading and trailing characters of code 32 or below.
std::string Trim(std::string_view text);
std::string_view TrimView(std::string_view text);

// Splits at CR LF, lone CR and lone LF. A break at the very end starts no
// further line; an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);

// ASCII upper case of a to z only.
std::string UpperAscii(std::string_view text);

// ASCII lower case of A to Z only; the one-character form is for comparing
// without case in place.
std::string LowerAscii(std::string_view text);
inline char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Equal when compared with LowerAscii; other bytes must match exactly.
bool EqualsNoCase(std::string_view a, std::string_view b);

bool Contains(std::string_view text, std::string_view part);

}  // namespace quillmarsh
