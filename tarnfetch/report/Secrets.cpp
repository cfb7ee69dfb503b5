#include "report/Secrets.h"

namespace tarnfetch {

std::string HideSecrets(std::string_view text) {
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

}  // namespace tarnfetch
