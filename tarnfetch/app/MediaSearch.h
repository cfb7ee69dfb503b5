#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/FetchError.h"
#include "core/FetchOptions.h"
#include "download/MediaPlan.h"
#include "http/Probe.h"

namespace tarnfetch {

// The address is a page on which no video was found, in the page itself or
// in its frames.
class NoVideoOnPage : public FetchError {
 public:
  using FetchError::FetchError;
};

// The plan for the media behind the user's address: the address itself, or
// the first of its page's addresses that leads to media, else the first in
// the pages it shows in frames; a file or a stream, looked at, with the
// page's title (for a direct address, its file name) and the page for the
// Referer. Reading the page ends within kPageSeconds, and so does
// trying its addresses and frames. Throws FetchError, NoVideoOnPage when
// the address is a page but no video was found.
MediaPlan FindMedia(const std::string& address, const FetchOptions& options);

// The first of the page's addresses that leads to media, else the first
// in its frames (<iframe>, <embed>, <object>: at most PageMedia::kMaxFrames
// a page, kMaxFrameDepth levels, each read once); all of them together end
// by the deadline. The title is the page's own. Throws NoVideoOnPage.
constexpr int kMaxFrameDepth = 2;
MediaPlan MediaFromPage(const ProbeResult& page, Deadline deadline, const FetchOptions& options);

}  // namespace tarnfetch
