#include "page/FetchableAddress.h"

#include "shared/Text.h"

namespace tarnfetch {
namespace {

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsSchemeChar(char c) {
  return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

}  // namespace

bool IsFetchableAddress(std::string_view address) {
  while (!address.empty() && static_cast<unsigned char>(address.front()) <= ' ') {
    address.remove_prefix(1);
  }
  if (address.empty()) return false;
  // A scheme is letters up to the first ":", before any "/", "?" or "#".
  const std::size_t end = address.find_first_of(":/?#");
  if (end == std::string_view::npos || address[end] != ':' || end == 0 ||
      !IsAsciiLetter(address[0])) {
    return true;
  }
  const std::string scheme = quillmarsh::LowerAscii(address.substr(0, end));
  for (const char c : scheme) {
    if (!IsSchemeChar(c)) return true;
  }
  return scheme == "http" || scheme == "https";
}

}  // namespace tarnfetch
