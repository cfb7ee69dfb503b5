#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Probe.h"
#include "Validators.h"

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

// The media behind the user's address: the address itself, or the first of
// its page's addresses that leads to media. Reading the page ends within
// kPageSeconds, and so does trying its addresses. Throws FetchError.
Media FindMedia(const std::string& address);

// The first of the page's addresses that leads to media; all of them
// together end by the deadline. Throws FetchError.
Media MediaFromPage(const ProbeResult& page, Deadline deadline);

}  // namespace tarnfetch
