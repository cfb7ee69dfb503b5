#include "JsonLd.h"

#include <cstdlib>
#include <optional>

#include "Utf8.h"

namespace tarnfetch {
namespace {

std::size_t SkipBlanks(std::string_view text, std::size_t pos) {
  while (pos < text.size() &&
         (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' || text[pos] == '\r')) {
    ++pos;
  }
  return pos;
}

std::optional<unsigned long> HexQuad(std::string_view text, std::size_t pos) {
  if (pos + 4 > text.size()) return std::nullopt;
  const std::string digits(text.substr(pos, 4));
  char* end = nullptr;
  const unsigned long value = std::strtoul(digits.c_str(), &end, 16);
  if (*end != '\0' || digits[0] == '-' || digits[0] == '+') return std::nullopt;
  return value;
}

// Reads the JSON string whose opening quote is at text[pos].
std::optional<std::string> ReadString(std::string_view text, std::size_t pos) {
  std::string out;
  for (++pos; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == '"') return out;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++pos >= text.size()) return std::nullopt;
    switch (text[pos]) {
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'u': {
        auto unit = HexQuad(text, pos + 1);
        if (!unit) return std::nullopt;
        pos += 4;
        if (*unit >= 0xD800 && *unit <= 0xDBFF && text.substr(pos + 1, 2) == "\\u") {
          const auto low = HexQuad(text, pos + 3);
          if (low && *low >= 0xDC00 && *low <= 0xDFFF) {
            unit = 0x10000 + ((*unit - 0xD800) << 10) + (*low - 0xDC00);
            pos += 6;
          }
        }
        AppendUtf8(out, *unit);
        break;
      }
      default:
        out += text[pos];
        break;  // \" \\ \/
    }
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> JsonLdContentUrls(std::string_view json) {
  static constexpr std::string_view kKey = "\"contentUrl\"";
  std::vector<std::string> urls;
  for (std::size_t at = json.find(kKey); at != std::string_view::npos;
       at = json.find(kKey, at + kKey.size())) {
    std::size_t pos = SkipBlanks(json, at + kKey.size());
    if (pos >= json.size() || json[pos] != ':') continue;
    pos = SkipBlanks(json, pos + 1);
    if (pos >= json.size() || json[pos] != '"') continue;
    if (auto value = ReadString(json, pos); value && !value->empty()) {
      urls.push_back(std::move(*value));
    }
  }
  return urls;
}

}  // namespace tarnfetch
