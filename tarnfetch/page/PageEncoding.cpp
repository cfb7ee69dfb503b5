#include "page/PageEncoding.h"

#include <algorithm>
#include <array>

#include "core/Utf8.h"
#include "page/HtmlTagReader.h"
#include "shared/Text.h"

namespace tarnfetch {
namespace {

// Browsers look for a declaration in the first 1024 bytes only.
constexpr std::size_t kPrescanBytes = 1024;

// The labels browsers read as windows-1252.
constexpr std::array<std::string_view, 17> kWindows1252Labels{
    "ansi_x3.4-1968", "ascii",           "cp1252",     "cp819",     "csisolatin1",
    "ibm819",         "iso-8859-1",      "iso-ir-100", "iso8859-1", "iso88591",
    "iso_8859-1",     "iso_8859-1:1987", "l1",         "latin1",    "us-ascii",
    "windows-1252",   "x-cp1252"};

// 0x80 to 0x9F in windows-1252; the five unassigned bytes stay C1 controls.
constexpr std::array<char16_t, 32> kHighControls{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The value of "charset=" in a Content-Type, lower-case; empty if none.
std::string CharsetOf(std::string_view contentType) {
  const std::string lower = quillmarsh::LowerAscii(contentType);
  const std::size_t at = lower.find("charset");
  if (at == std::string::npos) return {};
  std::size_t pos = at + 7;
  while (pos < lower.size() && lower[pos] == ' ') ++pos;
  if (pos >= lower.size() || lower[pos] != '=') return {};
  ++pos;
  while (pos < lower.size() && (lower[pos] == ' ' || lower[pos] == '"' || lower[pos] == '\'')) {
    ++pos;
  }
  const std::size_t end = lower.find_first_of(" \"';,", pos);
  return lower.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
}

std::string CharsetInPage(std::string_view html) {
  HtmlTagReader reader(html.substr(0, kPrescanBytes));
  while (const auto tag = reader.Next()) {
    if (tag->name != "meta") continue;
    if (const auto charset = tag->Attribute("charset")) return quillmarsh::LowerAscii(*charset);
    const auto equiv = tag->Attribute("http-equiv");
    const auto content = tag->Attribute("content");
    if (equiv && content && quillmarsh::LowerAscii(*equiv) == "content-type")
      return CharsetOf(*content);
  }
  return {};
}

}  // namespace

PageEncoding DeclaredEncoding(std::string_view contentType, std::string_view html) {
  std::string charset = CharsetOf(contentType);
  if (charset.empty()) charset = CharsetInPage(html);
  const bool western = std::find(kWindows1252Labels.begin(), kWindows1252Labels.end(), charset) !=
                       kWindows1252Labels.end();
  return western ? PageEncoding::Windows1252 : PageEncoding::Utf8;
}

std::string ToUtf8(std::string_view text, PageEncoding encoding) {
  if (encoding == PageEncoding::Utf8) return std::string(text);
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte <= 0x9F) {
      AppendUtf8(out, kHighControls[byte - 0x80]);
    } else {
      AppendUtf8(out, byte);
    }
  }
  return out;
}

}  // namespace tarnfetch
