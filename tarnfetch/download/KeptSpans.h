#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "files/Span.h"

namespace tarnfetch {

// At most this many finished spans are kept apart, so that a record cut
// into many pieces never becomes as many requests.
constexpr std::size_t kMaxKeptSpans = 1024;

// Fetching fewer bytes than this again costs less than a request more.
constexpr std::uint64_t kWorthARequest = 16u << 10;

// The finished spans of done (sorted, merged) below length that a run
// keeps and fetches around: one shorter than kWorthARequest between two
// gaps is fetched again with them, so that gaps closer together go as one
// range. Those at the file's ends always stay.
std::vector<Span> KeptSpans(const std::vector<Span>& done, std::uint64_t length);

}  // namespace tarnfetch
