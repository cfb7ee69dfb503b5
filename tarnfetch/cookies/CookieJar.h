#pragma once

#include <curl/curl.h>

#include <string>
#include <vector>

#include "cookies/Cookie.h"

namespace tarnfetch {

// The user's cookies for one run (from --cookies or
// --cookies-from-browser). They go into libcurl's cookie engine of every
// request, which sends each only where it belongs (RFC 6265: its host or
// domain, its path, Secure ones only over https), and, for the site
// extractor, only those of the page's site.
class CookieJar {
 public:
  explicit CookieJar(std::vector<Cookie> cookies) : cookies_(std::move(cookies)) {}

  // Loads every cookie into the handle's cookie engine.
  void ApplyTo(CURL* curl) const;

  // The cookies for the site (registrable domain) of host and its
  // subdomains.
  std::vector<Cookie> OfSite(const std::string& host) const;

  std::size_t Size() const { return cookies_.size(); }

 private:
  std::vector<Cookie> cookies_;
};

}  // namespace tarnfetch
