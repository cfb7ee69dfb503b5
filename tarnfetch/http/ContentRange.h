#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarnfetch {

// A Content-Range header value: "bytes 100-999/1000", "bytes 100-999/*"
// (length unknown) or "bytes */1000" (no range, as sent with 416).
struct ContentRange {
  std::optional<std::uint64_t> first;  // empty for "*/length"
  std::optional<std::uint64_t> last;
  std::optional<std::uint64_t> completeLength;
};

std::optional<ContentRange> ParseContentRange(std::string_view value);

}  // namespace tarnfetch
