#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnfetch {

// A media address found in a page, with the quality the page states for it
// (0 when it says nothing).
struct MediaCandidate {
  std::string address;
  long height = 0;            // picture lines: "1080p", height, res, size
  std::uint64_t bitrate = 0;  // bits (or kilobits) a second, as the page gives it
  std::string type = {};      // the media type the page declares for it, if any
};

// The height a quality label names: "1080p", "720p HD", "4K" (2160), "HD"
// (720); 0 when it names none.
long HeightFromLabel(std::string_view label);

// Orders candidates best first: higher pictures, then higher bitrates.
// Stable, so that the page's order decides ties.
void SortByQuality(std::vector<MediaCandidate>& candidates);

}  // namespace tarnfetch
