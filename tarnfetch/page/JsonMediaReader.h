#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "page/MediaCandidate.h"

namespace tarnfetch {

// Reads JSON text (a JSON-LD block, a player's configuration) without
// building it in memory and collects the string values under any of the
// given keys, at any depth, each with the quality its object states
// ("label": "1080p", "height", "res", "size", "bitrate", "bandwidth"). Keeps
// at most maxCount; reading stops at the first syntax error, keeping what
// came before it. Values longer than any real address are passed over.
std::vector<MediaCandidate> MediaInJson(std::string_view json,
                                        std::span<const std::string_view> keys,
                                        std::size_t maxCount);

}  // namespace tarnfetch
