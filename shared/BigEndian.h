#pragma once
// Numbers stored most significant byte first, as media containers and our
// own message frames keep them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillmarsh {

// The `size` bytes (at most 8) at `at`; the caller checks they are there.
inline std::uint64_t ReadBigEndian(std::string_view data, std::size_t at, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i)
    value = value << 8 | static_cast<std::uint8_t>(data[at + i]);
  return value;
}

// Writes `value` over the `size` bytes at `at`.
inline void WriteBigEndian(std::string& data, std::size_t at, std::size_t size,
                           std::uint64_t value) {
  for (std::size_t i = 0; i < size; ++i)
    data[at + size - 1 - i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

}  // namespace quillmarsh
