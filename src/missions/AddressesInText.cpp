#include "missions/AddressesInText.h"

#include <algorithm>

#include "shared/Text.h"

namespace quillmarsh {

namespace {
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && LowerAscii(text.substr(0, prefix.size())) == prefix;
}

// Length of the scheme at the start of `text` ("http://", "https://"), or 0.
std::size_t SchemeLength(std::string_view text) {
  for (std::string_view scheme : {std::string_view("http://"), std::string_view("https://")})
    if (StartsWithNoCase(text, scheme)) return scheme.size();
  return 0;
}

bool EndsAddress(char c) {
  return static_cast<unsigned char>(c) <= ' ' || c == '"' || c == '\'' || c == '<' || c == '>' ||
         c == '`' || c == 0x7F;
}

bool WordCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Drops what the sentence around the address put at its end.
std::string_view WithoutTrailingPunctuation(std::string_view address) {
  for (;;) {
    if (address.empty()) return address;
    const char last = address.back();
    const auto opened = [&](char open) {
      return std::count(address.begin(), address.end(), open) >=
             std::count(address.begin(), address.end(), last);
    };
    const bool sentence =
        last == '.' || last == ',' || last == ';' || last == ':' || last == '!' || last == '?';
    const bool unopened = (last == ')' && !opened('(')) || (last == ']' && !opened('['));
    if (!sentence && !unopened) return address;
    address.remove_suffix(1);
  }
}
}  // namespace

std::vector<std::string> AddressesInText(std::string_view text) {
  std::vector<std::string> addresses;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t scheme = SchemeLength(text.substr(pos));
    if (scheme == 0 || (pos > 0 && WordCharacter(text[pos - 1]))) {
      ++pos;
      continue;
    }
    std::size_t end = pos + scheme;
    while (end < text.size() && !EndsAddress(text[end])) ++end;
    const std::string_view address = WithoutTrailingPunctuation(text.substr(pos, end - pos));
    if (address.size() > scheme) addresses.emplace_back(address);
    pos = end;
  }
  return addresses;
}

}  // namespace quillmarsh
