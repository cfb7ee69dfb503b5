#pragma once
// Numbers read from text the external programs and stored files write.
// Plain C++; '.' is the decimal point whatever the locale.

#include <charconv>
#include <optional>
#include <string_view>

namespace quillmarsh {

// Reads a decimal number written with '.'. The whole text must be the
// number. False when it is not one.
bool ParseDecimal(std::string_view text, double& value);

// Reads a whole decimal number (optional sign) that fits in 32 bits. The
// whole text must be the number.
bool ParseInt32(std::string_view text, int& value);

// Reads a whole decimal number of type T: digits, and a '-' first only for
// a signed T. The whole text must be the number, and it must fit in T.
template <typename T>
std::optional<T> ReadWholeNumber(std::string_view text) {
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace quillmarsh
