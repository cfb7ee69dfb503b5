#include "page/FetchableAddress.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>

#include "shared/Text.h"

namespace tarnfetch {
namespace {

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsSchemeChar(char c) {
  return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

std::string_view SkipLeadingControls(std::string_view address) {
  while (!address.empty() && static_cast<unsigned char>(address.front()) <= ' ') {
    address.remove_prefix(1);
  }
  return address;
}

// The address's scheme in lower case; empty when it has none.
std::string SchemeOf(std::string_view address) {
  address = SkipLeadingControls(address);
  // A scheme is letters up to the first ":", before any "/", "?" or "#".
  const std::size_t end = address.find_first_of(":/?#");
  if (end == std::string_view::npos || address[end] != ':' || end == 0 ||
      !IsAsciiLetter(address[0])) {
    return {};
  }
  for (const char c : address.substr(0, end)) {
    if (!IsSchemeChar(c)) return {};
  }
  return quillmarsh::LowerAscii(address.substr(0, end));
}

// An IPv6 literal between brackets, with an optional zone ("%25eth0").
bool IsIpv6Literal(std::string_view inside) {
  std::string_view zone;
  if (const std::size_t percent = inside.find('%'); percent != std::string_view::npos) {
    zone = inside.substr(percent + 1);
    inside = inside.substr(0, percent);
    if (zone.starts_with("25") && zone.size() > 2) zone.remove_prefix(2);
    if (zone.empty() || zone.size() > 15) return false;
  }
  unsigned char binary[16];
  return inside.size() < 64 && inet_pton(AF_INET6, std::string(inside).c_str(), binary) == 1;
}

// "user@host:port" as the address parser takes it: a host name without
// blanks or delimiters, or an IPv6 literal; a port of digits up to 65535.
bool IsAuthority(std::string_view authority) {
  if (const std::size_t at = authority.find('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  std::string_view port;
  if (authority.starts_with("[")) {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos || !IsIpv6Literal(authority.substr(1, close - 1))) {
      return false;
    }
    const std::string_view rest = authority.substr(close + 1);
    if (!rest.empty() && rest[0] != ':') return false;
    if (!rest.empty()) port = rest.substr(1);
  } else {
    const std::size_t colon = authority.find(':');
    const std::string_view host = authority.substr(0, colon);
    if (colon != std::string_view::npos) port = authority.substr(colon + 1);
    static constexpr std::string_view kNotInHost = " /:#?!@{}[]\\$'\"^`*<>=;,+&()%";
    if (host.empty() || host.find_first_of(kNotInHost) != std::string_view::npos) return false;
  }
  port.remove_prefix(std::min(port.find_first_not_of('0'), port.size()));
  return port.find_first_not_of("0123456789") == std::string_view::npos &&
         (port.size() < 5 || (port.size() == 5 && port <= "65535"));
}

// Whether the address parser can read the address (what follows its http:
// or https: scheme, if any): control characters never; a host, when the
// address names one, must be one.
bool Parses(std::string_view address, bool hasScheme) {
  address = quillmarsh::TrimView(address);
  if (std::any_of(address.begin(), address.end(),
                  [](unsigned char c) { return c < ' ' || c == 0x7F; })) {
    return false;
  }
  if (hasScheme) address.remove_prefix(address.find(':') + 1);
  const std::size_t slashes = std::min(address.find_first_not_of('/'), address.size());
  // A scheme is followed by one to three slashes and a host; without one,
  // two or three slashes lead to a host, and anything else is a path (one
  // that starts like "1abc:" would be read as a scheme).
  if (!hasScheme && slashes < 2) {
    const std::size_t end = address.find_first_of(":/?#");
    return end == std::string_view::npos || address[end] != ':' || end == 0 ||
           !std::all_of(address.begin(), address.begin() + end, IsSchemeChar);
  }
  if (slashes == 0 || slashes > 3) return false;
  address.remove_prefix(slashes);
  return IsAuthority(address.substr(0, address.find_first_of("/?#")));
}

}  // namespace

std::string StreamProtocolName(std::string_view address) {
  const std::string scheme = SchemeOf(address);
  if (scheme.empty() || !address.substr(address.find(':') + 1).starts_with("//")) return {};
  for (const std::string_view name : {"rtmp", "rtsp", "mms"}) {
    if (scheme.starts_with(name) && scheme.size() <= name.size() + 2) {
      return quillmarsh::UpperAscii(name);
    }
  }
  return {};
}

std::string PathExtension(std::string_view address) {
  address = address.substr(0, address.find_first_of("?#"));
  const std::string_view name = address.substr(address.rfind('/') + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || name.size() - dot > 6) return {};
  return quillmarsh::LowerAscii(name.substr(dot + 1));
}

bool IsClearlyNotMedia(std::string_view address) {
  static constexpr std::array<std::string_view, 16> kOther{
      "vtt", "srt", "jpg",  "jpeg", "png",  "gif", "webp", "svg",
      "css", "js",  "json", "xml",  "html", "htm", "ico",  "swf"};
  const std::string extension = PathExtension(address);
  return std::find(kOther.begin(), kOther.end(), extension) != kOther.end();
}

bool IsFetchableAddress(std::string_view address) {
  if (SkipLeadingControls(address).empty()) return false;
  const std::string scheme = SchemeOf(address);
  return (scheme.empty() || scheme == "http" || scheme == "https") &&
         Parses(SkipLeadingControls(address), !scheme.empty());
}

}  // namespace tarnfetch
