#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "http/HttpTransfer.h"

namespace tarnfetch {

// Pages larger than this are read only this far: the media tags sit near the
// top, and a hostile page must not exhaust memory.
constexpr std::size_t kMaxPageBytes = 8u << 20;

// What an address turned out to be, after its redirects.
struct ProbeResult {
  enum class Kind { Media, Page, Stream };  // Stream: an HLS playlist
  Kind kind = Kind::Page;
  std::string url;  // where the redirects ended
  std::string contentType;
  std::optional<std::uint64_t> contentLength;
  std::string etag;
  std::string lastModified;
  std::string body;  // the page, for Kind::Page (at most kMaxPageBytes)
};

// Reading a page, or trying the addresses found on one, ends after this
// long even when the server trickles bytes fast enough to pass the stall
// rule.
constexpr std::chrono::seconds kPageSeconds{60};

// How to ask for an address.
struct ProbeRequest {
  std::string referrerPage;          // the page that named it, for the Referer
  std::vector<std::string> headers;  // extra "Name: value", on every request for it
  // Someone who read the page (the site extractor) says this is the video:
  // any answer but text is media, and a page is not read.
  bool vouchedMedia = false;
  // The type the page gives the address (<source type="video/mp4">): it
  // decides when the server's own says only "bytes".
  std::string declaredType = {};
};

// Requests url and looks at the answer. A page is read into memory; for
// media only the head is read and the transfer is dropped, since the
// download needs its own request (with a Range when resuming). The whole
// probe ends by the deadline. Throws FetchError for failures and for
// answers that are neither.
ProbeResult Probe(const std::string& url, Deadline deadline, const FetchOptions& options,
                  const ProbeRequest& request = {});

}  // namespace tarnfetch
