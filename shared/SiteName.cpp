#include "shared/SiteName.h"

#include <arpa/inet.h>
#include <libpsl.h>

#include "shared/Text.h"

namespace quillmarsh {
namespace {

bool IsIpAddress(const std::string& host) {
  unsigned char buffer[16];
  return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
         inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

// The system's current list when installed (package publicsuffix), else
// the one built into libpsl.
const psl_ctx_t* SuffixList() {
  static const psl_ctx_t* const list = [] {
    const psl_ctx_t* latest = psl_latest(nullptr);
    return latest != nullptr ? latest : psl_builtin();
  }();
  return list;
}

}  // namespace

std::string SiteOfHost(std::string_view hostText) {
  std::string host = LowerAscii(hostText);
  while (!host.empty() && host.back() == '.') host.pop_back();
  if (host.empty() || IsIpAddress(host) || host.find('.') == std::string::npos) return host;
  if (const psl_ctx_t* list = SuffixList()) {
    if (const char* domain = psl_registrable_domain(list, host.c_str())) return domain;
    return host;  // a public suffix itself
  }
  // No list at all: the last two labels.
  const std::size_t last = host.rfind('.');
  const std::size_t before = host.rfind('.', last - 1);
  return before == std::string::npos ? host : host.substr(before + 1);
}

std::string HostOfUrl(std::string_view url) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return {};
  std::string_view rest = url.substr(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
    rest = rest.substr(at + 1);
  }
  if (rest.starts_with('[')) {
    const std::size_t close = rest.find(']');
    return close == std::string_view::npos ? std::string() : std::string(rest.substr(1, close - 1));
  }
  return LowerAscii(rest.substr(0, rest.find(':')));
}

bool DomainInSite(std::string_view domain, std::string_view site) {
  if (domain.starts_with('.')) domain.remove_prefix(1);
  if (site.empty() || domain.size() < site.size()) return false;
  if (!EqualsNoCase(domain.substr(domain.size() - site.size()), site)) return false;
  return domain.size() == site.size() || domain[domain.size() - site.size() - 1] == '.';
}

}  // namespace quillmarsh
