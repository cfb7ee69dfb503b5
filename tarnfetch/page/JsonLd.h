#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "page/MediaCandidate.h"

namespace tarnfetch {

// The "contentUrl" values of a JSON-LD block (schema.org VideoObject and
// AudioObject), in the order they appear, at most maxCount. A malformed
// block yields what came before its fault instead of failing the page.
std::vector<MediaCandidate> JsonLdContentUrls(std::string_view json, std::size_t maxCount);

// The "embedUrl" values (the player's own page) in the same way.
std::vector<MediaCandidate> JsonLdEmbedUrls(std::string_view json, std::size_t maxCount);

}  // namespace tarnfetch
