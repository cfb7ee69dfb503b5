#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace tarnfetch {

// Bytes [first, end) of a file: end is one past the last byte.
using Span = std::pair<std::uint64_t, std::uint64_t>;

inline std::uint64_t SpanBytes(const std::vector<Span>& spans) {
  std::uint64_t bytes = 0;
  for (const auto& [first, end] : spans) bytes += end - first;
  return bytes;
}

}  // namespace tarnfetch
