#include "page/MediaCandidate.h"

#include <algorithm>

#include "shared/Text.h"

namespace tarnfetch {

long HeightFromLabel(std::string_view label) {
  const std::string lower = quillmarsh::LowerAscii(label.substr(0, 64));
  for (std::size_t pos = 0; pos < lower.size(); ++pos) {
    if (lower[pos] < '0' || lower[pos] > '9' ||
        (pos > 0 && lower[pos - 1] >= '0' && lower[pos - 1] <= '9')) {
      continue;
    }
    long number = 0;
    std::size_t end = pos;
    while (end < lower.size() && lower[end] >= '0' && lower[end] <= '9' && number < 100000) {
      number = number * 10 + (lower[end++] - '0');
    }
    const char unit = end < lower.size() ? lower[end] : '\0';
    if (unit == 'p' || unit == 'i') return number;              // 1080p, 1080i
    if (unit == 'k' && number <= 16) return number * 1080 / 2;  // 4k: 2160 lines
    pos = end;
  }
  if (lower.find("uhd") != std::string::npos) return 2160;
  if (lower.find("fhd") != std::string::npos || lower.find("full hd") != std::string::npos) {
    return 1080;
  }
  if (lower.find("hd") != std::string::npos) return 720;
  if (lower.find("sd") != std::string::npos) return 480;
  return 0;
}

void SortByQuality(std::vector<MediaCandidate>& candidates) {
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const MediaCandidate& a, const MediaCandidate& b) {
                     if (a.height != b.height) return a.height > b.height;
                     return a.bitrate > b.bitrate;
                   });
}

}  // namespace tarnfetch
