#pragma once

#include <string>

#include "cookies/CookieJar.h"
#include "cookies/PrivateFolder.h"

namespace tarnfetch {

// The cookies of one page's site as a Netscape cookie file for the site
// extractor: mode 0600 in a private folder, gone with this object. Path()
// is empty when the site has no cookies (nothing is written then).
class SiteCookieFile {
 public:
  SiteCookieFile(const CookieJar& jar, const std::string& pageUrl);

  const std::string& Path() const { return path_; }

 private:
  PrivateFolder folder_;
  std::string path_;
};

}  // namespace tarnfetch
