#pragma once

#include <string>
#include <string_view>

namespace tarnfetch {

// Whether an address written in a page can be fetched: an http:// or
// https:// address, or one relative to the page, that the address parser
// can read. "about:blank", "javascript:", "data:", "blob:" and the like
// never can, nor "http://[::1x" or an address with control characters, so
// they never take a place that a page's limits keep for the addresses to
// try.
bool IsFetchableAddress(std::string_view address);

// The lower-case extension of an address's path ("" if none).
std::string PathExtension(std::string_view address);

// Players and feeds also name posters, captions, scripts and pages where
// they name media.
bool IsClearlyNotMedia(std::string_view address);

// "RTMP", "RTSP" or "MMS" for an address of a streaming protocol that
// tarnfetch does not fetch (rtmp://, rtmpe://, rtsp://, mms://, mmsh:// ...);
// empty for any other. A page naming only such a stream is told apart from
// one naming none.
std::string StreamProtocolName(std::string_view address);

}  // namespace tarnfetch
