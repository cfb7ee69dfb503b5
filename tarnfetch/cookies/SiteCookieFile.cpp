#include "cookies/SiteCookieFile.h"

#include "cookies/NetscapeCookies.h"
#include "shared/SiteName.h"

namespace tarnfetch {

SiteCookieFile::SiteCookieFile(const CookieJar& jar, const std::string& pageUrl)
    : folder_("site-cookies") {
  const std::vector<Cookie> cookies = jar.OfSite(quillmarsh::HostOfUrl(pageUrl));
  if (cookies.empty()) return;
  path_ = folder_.Path() + "/cookies.txt";
  WriteCookieFile(path_, cookies);
}

}  // namespace tarnfetch
