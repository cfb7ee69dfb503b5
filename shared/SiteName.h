#pragma once
// The site a host belongs to, as browsers draw the line between sites: its
// registrable domain under the Public Suffix List ("video.example.co.uk"
// -> "example.co.uk"). Plain C++ over libpsl.

#include <string>
#include <string_view>

namespace quillmarsh {

// The registrable domain of host, in lower case. An IP address, a host
// without a dot ("localhost") or a host that is itself a public suffix is
// its own site. Empty for an empty host.
std::string SiteOfHost(std::string_view host);

// The host of an http(s) address ("https://user@Host:8080/x" -> "host",
// "http://[::1]/" -> "::1"); empty when there is none.
std::string HostOfUrl(std::string_view url);

// Whether a cookie for domain ("example.com" or ".example.com") belongs to
// site: the domain is the site or one of its subdomains.
bool DomainInSite(std::string_view domain, std::string_view site);

}  // namespace quillmarsh
