#pragma once

#include <string_view>

namespace tarnfetch {

// Whether an address written in a page can be fetched: an http:// or
// https:// address, or one relative to the page. "about:blank",
// "javascript:", "data:", "blob:" and the like never can, so they never
// take a place that a page's limits keep for the addresses to try.
bool IsFetchableAddress(std::string_view address);

}  // namespace tarnfetch
