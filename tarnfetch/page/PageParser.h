#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarnfetch {

// What a web page says about its media.
struct PageMedia {
  static constexpr std::size_t kMaxPerSource = 16;
  static constexpr std::size_t kMaxFrames = 5;

  // Media addresses as written in the page (entity-decoded, not yet made
  // absolute), best first: og:video:secure_url, og:video:url, og:video,
  // twitter:player:stream; <video>, <video-js> and <audio> src, data-src
  // and data-video; <source> (best quality first); <meta
  // itemprop=contentUrl> and <link rel=video_src>; JSON-LD contentUrl;
  // players set up in attributes and scripts (best quality first); last,
  // quoted media addresses in scripts. No duplicates; at most
  // kMaxPerSource from each kind of source.
  std::vector<std::string> addresses;
  // <iframe src>, <embed src>, <object data>, in the page's order, then
  // JSON-LD embedUrl when the page names no media; no duplicates, at most
  // kMaxFrames.
  std::vector<std::string> frames;
  // og:title, else <title>; read in the page's declared encoding, cleaned
  // by CleanTitle (TitleText.h); may be empty.
  std::string title;
};

// contentType is the page's own, for the charset it may declare.
PageMedia ParsePage(std::string_view html, std::string_view contentType = {});

}  // namespace tarnfetch
