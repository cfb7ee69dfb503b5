#pragma once

#include <cstdint>
#include <optional>

namespace tarnfetch {

// Bytes first..last of a resource, both included; no last: to the end.
struct ByteRange {
  std::uint64_t first = 0;
  std::optional<std::uint64_t> last;
};

}  // namespace tarnfetch
