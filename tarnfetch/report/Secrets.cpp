#include "report/Secrets.h"

#include <algorithm>

#include "shared/Text.h"

namespace tarnfetch {
namespace {

// Every "cookie:" header's value, whatever its case, up to the line's end.
std::string HideCookieHeaders(std::string text) {
  const std::string lower = quillmarsh::LowerAscii(text);
  std::string out;
  std::size_t copied = 0;
  for (std::size_t found = lower.find("cookie:"); found != std::string::npos;
       found = lower.find("cookie:", found + 1)) {
    const std::size_t value = found + 7;
    if (value < copied) continue;
    out.append(text, copied, value - copied).append(" ***");
    copied = std::min(lower.find_first_of("\r\n", value), text.size());
  }
  return out.append(text, copied);
}

std::string HideUserParts(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t copied = 0;
  for (std::size_t scheme = text.find("://"); scheme != std::string_view::npos;
       scheme = text.find("://", scheme + 3)) {
    const std::size_t start = scheme + 3;
    // The authority ends at the path, query, fragment or a blank; its user
    // part ends at the last "@" before that.
    std::size_t end = start;
    while (end < text.size() && text[end] != '/' && text[end] != '?' && text[end] != '#' &&
           static_cast<unsigned char>(text[end]) > ' ') {
      ++end;
    }
    const std::size_t at = text.substr(start, end - start).rfind('@');
    if (at == std::string_view::npos || start < copied) continue;
    out.append(text.substr(copied, start - copied)).append("***");
    copied = start + at;
  }
  out.append(text.substr(copied));
  return out;
}

}  // namespace

std::string HideSecrets(std::string_view text) {
  return HideCookieHeaders(HideUserParts(text));
}

}  // namespace tarnfetch
