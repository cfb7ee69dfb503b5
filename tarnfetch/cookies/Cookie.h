#pragma once

#include <cstdint>
#include <string>

namespace tarnfetch {

// One cookie of the user's, as a browser or a cookie file keeps it. Its
// value is a secret: it is never printed, logged or put in an error.
struct Cookie {
  // "example.com" for a cookie of that host alone, ".example.com" for one
  // that also goes to its subdomains.
  std::string domain;
  std::string path = "/";
  bool secure = false;
  bool httpOnly = false;
  std::int64_t expires = 0;  // seconds since 1970; 0: ends with the session
  std::string name;
  std::string value;

  bool IncludesSubdomains() const { return !domain.empty() && domain.front() == '.'; }
};

}  // namespace tarnfetch
