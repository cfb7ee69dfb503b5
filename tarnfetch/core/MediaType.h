#pragma once

#include <string>
#include <string_view>

namespace tarnfetch {

// The media type of a Content-Type value: lower case, without parameters.
std::string BareContentType(std::string_view contentType);

bool IsMediaContentType(std::string_view contentType);   // video/*, audio/*
bool IsPageContentType(std::string_view contentType);    // HTML and XHTML
bool IsStreamContentType(std::string_view contentType);  // HLS playlists, DASH manifests
// Feeds and playlists read as pages: RSS, Atom, SMIL, XSPF, JSON, XML.
bool IsFeedContentType(std::string_view contentType);
bool IsMediaExtension(std::string_view extension);   // "mp4", "webm" ...
bool IsStreamExtension(std::string_view extension);  // "m3u8", "mpd"
// Text of any kind (text/*, HTML, JSON, XML, scripts): never a video,
// whatever the address says. An error or rate-limit page comes so.
bool IsTextualContentType(std::string_view contentType);

// True when the text starts as a DASH manifest does (after a byte-order
// mark, blanks and comments: an XML declaration or <MPD), whatever the
// server called it.
bool LooksLikeDashManifest(std::string_view text);
// The same for an HLS playlist or a DASH manifest: a stream, never a video.
bool LooksLikeStreamText(std::string_view text);

// True when a body's first bytes (up to 64) are all printable ASCII, blanks
// and line ends, after a byte-order mark. A hint for sniffing answers only:
// a stream segment must prove its container instead.
bool LooksLikeText(std::string_view head);

// The extension of a downloaded file: from the content type when it names
// one we know, else the address's (lower-case, without the dot) when it
// looks like a file extension, else "mp4".
std::string ChooseExtension(std::string_view contentType, std::string_view addressExtension);

}  // namespace tarnfetch
