#pragma once
// Numbers read from text the external programs and stored files write.
// Plain C++; '.' is the decimal point whatever the locale.

#include <string_view>

namespace quillmarsh {

// Reads a decimal number written with '.'. The whole text must be the
// number. False when it is not one.
bool ParseDecimal(std::string_view text, double& value);

// Reads a whole decimal number (optional sign) that fits in 32 bits. The
// whole text must be the number.
bool ParseInt32(std::string_view text, int& value);

}  // namespace quillmarsh
