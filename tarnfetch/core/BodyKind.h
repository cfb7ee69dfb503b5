#pragma once

#include <string_view>

namespace tarnfetch {

// What a successful answer holds.
enum class BodyKind {
  Media,   // a video or sound file
  Page,    // a web page, or a feed or playlist read as one
  Stream,  // an HLS playlist or a DASH manifest
  Unknown  // neither: refused
};

// What is known of an answer when its first bytes arrive.
struct BodyClues {
  std::string_view contentType;   // the server's
  std::string_view extension;     // of the address after redirects, lower case
  std::string_view declaredType;  // the type the page gave the address (<source type>)
  std::string_view head;          // the body's first bytes; empty when it has none
  // Someone who read the page (the site extractor) says this is the video:
  // any answer but text is media.
  bool vouchedMedia = false;
};

// Media bytes are media whatever the server calls them; then the server's
// type, the address's extension, and for a generic type ("application/
// octet-stream") the page's declared type; text is a page.
BodyKind ClassifyBody(const BodyClues& clues);

}  // namespace tarnfetch
