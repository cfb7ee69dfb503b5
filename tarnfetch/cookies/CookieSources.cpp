#include "cookies/CookieSources.h"

#include "cookies/BrowserCookies.h"
#include "cookies/NetscapeCookies.h"

namespace tarnfetch {

std::shared_ptr<const CookieJar> LoadCookies(const std::string& cookieFile,
                                             const std::string& browserChoice) {
  if (!cookieFile.empty()) return std::make_shared<CookieJar>(ReadCookieFile(cookieFile));
  if (!browserChoice.empty()) return std::make_shared<CookieJar>(ReadBrowserCookies(browserChoice));
  return nullptr;
}

}  // namespace tarnfetch
