#pragma once
// A Firefox profile as Firefox 115 (Debian's firefox-esr) leaves it, made
// without a Firefox: installs.ini and profiles.ini naming it the default,
// and cookies.sqlite written with Firefox's moz_cookies schema.

#include <string>
#include <vector>

namespace quillmarsh {

struct StoredCookie {
  std::string host;  // ".example.com" for a domain cookie
  std::string name;
  std::string value;
  bool secure = false;
  bool httpOnly = false;
};

// Makes root (~/.mozilla/firefox) with one profile; returns its folder.
std::string WriteFirefoxProfile(const std::string& root, const std::vector<StoredCookie>& cookies);

}  // namespace quillmarsh
