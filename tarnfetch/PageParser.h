#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnfetch {

// What a web page says about its media.
struct PageMedia {
  // Media addresses as written in the page (entity-decoded, not yet made
  // absolute), best first: og:video:secure_url, og:video:url, og:video,
  // <video src>, <source src>, JSON-LD contentUrl. No duplicates.
  std::vector<std::string> addresses;
  // og:title, else <title>; blanks collapsed, valid UTF-8; may be empty.
  std::string title;
};

PageMedia ParsePage(std::string_view html);

}  // namespace tarnfetch
