#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillmarsh {

// A speed as curl and yt-dlp write it (tarnfetch's --limit-rate, and the
// SpeedLimit quillmarsh hands it): bytes a second, a whole or decimal
// number with an optional K, M or G (either case) for 1024, 1024² or 1024³
// ("500K", "2M", "1.5m"). Nothing for anything else, or for more than
// 2^63 bytes.
std::optional<std::uint64_t> ParseByteRate(std::string_view text);

}  // namespace quillmarsh
