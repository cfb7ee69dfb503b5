#include "http/StreamHeaders.h"

#include "base/Text.h"
#include "http/Url.h"

namespace tarnfetch {
namespace {

bool IsCredential(const std::string& header) {
  const std::string name =
      quillmarsh::LowerAscii(quillmarsh::Trim(header.substr(0, header.find(':'))));
  return name == "cookie" || name == "authorization";
}

}  // namespace

std::vector<std::string> StreamHeaders::For(const std::string& url) const {
  std::vector<std::string> headers = extra;
  if (!credentialsOrigin.empty() && !SameOrigin(credentialsOrigin, url)) {
    std::erase_if(headers, IsCredential);
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
