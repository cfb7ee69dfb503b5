#pragma once

#include <string>
#include <vector>

namespace tarnfetch {

// The HTTP headers of every request of a stream: those the caller gives
// (a site extractor's, "Name: value") and a Referer for the page that named
// the stream. libcurl follows a request's redirects with the same headers,
// so the Referer is the page's origin only ("https://host/"), never its
// full address: no host, also one redirected to, learns more than a
// browser would send it.
struct StreamHeaders {
  std::vector<std::string> extra;
  std::string referrerPage;  // empty: no Referer
  // The address the extra headers came with. Their Cookie and
  // Authorization go only to its origin, never to the other hosts a
  // playlist names (keys, segments, variants); empty: no such limit.
  std::string credentialsOrigin;

  std::vector<std::string> For(const std::string& url) const;
};

}  // namespace tarnfetch
