#include "cookies/RunCookies.h"

#include "cookies/BrowserCookies.h"
#include "cookies/NetscapeCookies.h"

namespace tarnfetch {
namespace {
std::shared_ptr<const CookieJar>& Current() {
  static std::shared_ptr<const CookieJar> jar;
  return jar;
}
}  // namespace

void SetRunCookies(std::shared_ptr<const CookieJar> jar) {
  Current() = std::move(jar);
}

const CookieJar* RunCookies() {
  return Current().get();
}

std::shared_ptr<const CookieJar> LoadCookies(const std::string& cookieFile,
                                             const std::string& browserChoice) {
  if (!cookieFile.empty()) return std::make_shared<CookieJar>(ReadCookieFile(cookieFile));
  if (!browserChoice.empty()) return std::make_shared<CookieJar>(ReadBrowserCookies(browserChoice));
  return nullptr;
}

}  // namespace tarnfetch
