#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnfetch {

// What a web page says about its media.
struct PageMedia {
  // Media addresses as written in the page (entity-decoded, not yet made
  // absolute), best first: og:video:secure_url, og:video:url, og:video,
  // <video src>, <source src>, JSON-LD contentUrl. No duplicates; at most
  // kMaxPerSource from each kind of source.
  std::vector<std::string> addresses;
  // og:title, else <title>; read in the page's declared encoding, cleaned
  // by CleanTitle (TitleText.h); may be empty.
  std::string title;

  static constexpr std::size_t kMaxPerSource = 16;
};

// contentType is the page's own, for the charset it may declare.
PageMedia ParsePage(std::string_view html, std::string_view contentType = {});

}  // namespace tarnfetch
