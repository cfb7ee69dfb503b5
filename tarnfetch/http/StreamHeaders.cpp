#include "http/StreamHeaders.h"

#include "http/HttpTransfer.h"
#include "http/Url.h"

namespace tarnfetch {

std::vector<std::string> StreamHeaders::For(const std::string& url) const {
  std::vector<std::string> headers = extra;
  if (!credentialsOrigin.empty() && !SameOrigin(credentialsOrigin, url)) {
    std::erase_if(headers, [](const std::string& header) { return IsCredentialHeader(header); });
  }
  if (referrerPage.empty()) return headers;
  std::string referer = RefererFor(referrerPage, url);
  // RefererFor gives a normal address: its origin ends at the first "/"
  // after the scheme.
  const auto scheme = referer.find("://");
  const auto path = scheme == std::string::npos ? std::string::npos : referer.find('/', scheme + 3);
  if (path != std::string::npos) referer.erase(path + 1);
  if (!referer.empty()) headers.push_back("Referer: " + referer);
  return headers;
}

}  // namespace tarnfetch
