#include "page/FetchableAddress.h"

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
  return scheme.empty() || scheme == "http" || scheme == "https";
}

}  // namespace tarnfetch
