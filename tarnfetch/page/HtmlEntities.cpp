#include "page/HtmlEntities.h"

#include <array>
#include <cstdlib>
#include <optional>
#include <utility>

#include "core/Utf8.h"

namespace tarnfetch {
namespace {

constexpr std::array<std::pair<std::string_view, unsigned long>, 24> kNamed{{
    {"amp", '&'},      {"lt", '<'},       {"gt", '>'},        {"quot", '"'},     {"apos", '\''},
    {"nbsp", 0xA0},    {"ndash", 0x2013}, {"mdash", 0x2014},  {"lsquo", 0x2018}, {"rsquo", 0x2019},
    {"ldquo", 0x201C}, {"rdquo", 0x201D}, {"hellip", 0x2026}, {"copy", 0xA9},    {"reg", 0xAE},
    {"trade", 0x2122}, {"laquo", 0xAB},   {"raquo", 0xBB},    {"middot", 0xB7},  {"bull", 0x2022},
    {"euro", 0x20AC},  {"eacute", 0xE9},  {"auml", 0xE4},     {"ouml", 0xF6},
}};

// The code point of the reference whose body (between "&" and ";") is given.
std::optional<unsigned long> Reference(std::string_view body) {
  if (body.size() >= 2 && body[0] == '#') {
    const bool hex = body[1] == 'x' || body[1] == 'X';
    const std::string digits(body.substr(hex ? 2 : 1));
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    char* end = nullptr;
    const unsigned long value = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
    if (*end != '\0' || digits[0] == '-' || digits[0] == '+') return std::nullopt;
    // NUL would end the text early in C strings; browsers show U+FFFD too.
    return value == 0 ? 0xFFFD : value;
  }
  for (const auto& [name, codePoint] : kNamed) {
    if (body == name) return codePoint;
  }
  return std::nullopt;
}

}  // namespace

std::string DecodeHtmlEntities(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t amp = text.find('&', pos);
    if (amp == std::string_view::npos) break;
    out.append(text.substr(pos, amp - pos));
    // References are short; a far-away ";" belongs to something else, so
    // only the next few bytes are searched (a text full of "&" would
    // otherwise be read to its end once per "&").
    const std::size_t near = text.substr(amp, 13).find(';');
    const std::size_t semicolon = near == std::string_view::npos ? near : amp + near;
    const bool plausible = semicolon != std::string_view::npos;
    const auto codePoint =
        plausible ? Reference(text.substr(amp + 1, semicolon - amp - 1)) : std::nullopt;
    if (codePoint) {
      AppendUtf8(out, *codePoint);
      pos = semicolon + 1;
    } else {
      out += '&';
      pos = amp + 1;
    }
  }
  out.append(text.substr(pos));
  return out;
}

}  // namespace tarnfetch
