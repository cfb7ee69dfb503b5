#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/FetchError.h"
#include "core/FetchOptions.h"
#include "http/Probe.h"
#include "http/Validators.h"

namespace tarnfetch {

// The media file an address leads to.
struct Media {
  std::string url;
  std::string contentType;
  Validators validators;     // from the first look at it; the length may be unknown
  std::string title;         // from the page; empty for a direct address
  std::string referrerPage;  // the page that named it; empty for a direct address
  bool stream = false;       // an HLS playlist
};

// The address is a page on which no video was found, in the page itself or
// in its frames.
class NoVideoOnPage : public FetchError {
 public:
  using FetchError::FetchError;
};

// The media behind the user's address: the address itself, or the first of
// its page's addresses that leads to media, else the first in the pages it
// shows in frames. Reading the page ends within kPageSeconds, and so does
// trying its addresses and frames. Throws FetchError, NoVideoOnPage when
// the address is a page but no video was found.
Media FindMedia(const std::string& address, const FetchOptions& options);

// The first of the page's addresses that leads to media, else the first
// in its frames (<iframe>, <embed>, <object>: at most PageMedia::kMaxFrames
// a page, kMaxFrameDepth levels, each read once); all of them together end
// by the deadline. The title is the page's own. Throws NoVideoOnPage.
constexpr int kMaxFrameDepth = 2;
Media MediaFromPage(const ProbeResult& page, Deadline deadline, const FetchOptions& options);

}  // namespace tarnfetch
