#include "download/KeptSpans.h"

#include <algorithm>

namespace tarnfetch {

std::vector<Span> KeptSpans(const std::vector<Span>& done, std::uint64_t length) {
  std::vector<Span> kept;
  for (auto [first, end] : done) {
    end = std::min(end, length);
    if (first >= end) continue;
    if (first == 0 || end == length || end - first >= kWorthARequest) kept.push_back({first, end});
  }
  if (kept.size() > kMaxKeptSpans) {
    const auto longer = [](const Span& a, const Span& b) {
      return a.second - a.first > b.second - b.first;
    };
    std::nth_element(kept.begin(), kept.begin() + kMaxKeptSpans, kept.end(), longer);
    kept.resize(kMaxKeptSpans);
    std::sort(kept.begin(), kept.end());
  }
  return kept;
}

}  // namespace tarnfetch
