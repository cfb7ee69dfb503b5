#include "cookies/CookieJar.h"

#include "cookies/NetscapeCookies.h"
#include "shared/SiteName.h"

namespace tarnfetch {

void CookieJar::ApplyTo(CURL* curl) const {
  // An empty name turns the engine on without reading a file.
  curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
  for (const Cookie& cookie : cookies_) {
    curl_easy_setopt(curl, CURLOPT_COOKIELIST, NetscapeLine(cookie).c_str());
  }
}

std::vector<Cookie> CookieJar::OfSite(const std::string& host) const {
  const std::string site = quillmarsh::SiteOfHost(host);
  std::vector<Cookie> found;
  for (const Cookie& cookie : cookies_) {
    if (quillmarsh::DomainInSite(cookie.domain, site)) found.push_back(cookie);
  }
  return found;
}

}  // namespace tarnfetch
