#pragma once
// tarnfetch's reading of a web page and the file name made from its title.
// The input is the page. The title and the raw bytes both go through the
// file-name sanitiser, whose result must be safe whatever it is given.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "core/FetchError.h"
#include "core/Utf8.h"
#include "files/FileName.h"
#include "page/Feed.h"
#include "page/HtmlEntities.h"
#include "page/JsonLd.h"
#include "page/PackedScript.h"
#include "page/PageParser.h"
#include "page/ScriptLiteral.h"

#include <nlohmann/json.hpp>

namespace fuzz {

// UTF-8 as RFC 3629 defines it, written apart from tarnfetch's own check.
inline bool IsUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t n;
    unsigned long cp;
    if (b < 0x80) {
      ++i;
      continue;
    } else if ((b & 0xE0) == 0xC0) {
      n = 1;
      cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
      n = 2;
      cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
      n = 3;
      cp = b & 0x07;
    } else {
      return false;
    }
    if (i + n >= text.size()) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      const auto c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    const unsigned long least[] = {0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n + 1;
  }
  return true;
}

// A control character in UTF-8: C0, DEL, or C1 (U+0080 to U+009F).
inline bool HasControlCharacter(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x20 || b == 0x7F) return true;
    if (b == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F)
      return true;
  }
  return false;
}

// A bidirectional control: U+061C, U+200E, U+200F, U+202A to U+202E,
// U+2066 to U+2069.
inline bool HasBidiControl(std::string_view text) {
  for (const std::string_view mark :
       {"\xD8\x9C", "\xE2\x80\x8E", "\xE2\x80\x8F", "\xE2\x80\xAA", "\xE2\x80\xAB", "\xE2\x80\xAC",
        "\xE2\x80\xAD", "\xE2\x80\xAE", "\xE2\x81\xA6", "\xE2\x81\xA7", "\xE2\x81\xA8",
        "\xE2\x81\xA9"}) {
    if (text.find(mark) != std::string_view::npos) return true;
  }
  return false;
}

inline void CheckSafeName(std::string_view name, std::size_t maxBytes) {
  FUZZ_CHECK(!name.empty() && name.size() <= maxBytes);
  FUZZ_CHECK(IsUtf8(name));
  FUZZ_CHECK(name.find('/') == std::string_view::npos);
  FUZZ_CHECK(name.find('<') == std::string_view::npos);
  FUZZ_CHECK(!HasControlCharacter(name));
  FUZZ_CHECK(!HasBidiControl(name));
  FUZZ_CHECK(name.front() != '.' && name.front() != '-');
  FUZZ_CHECK(name.front() != ' ' && name.back() != ' ');
}

inline void CheckSanitizeTitle(std::string_view title, std::size_t maxBytes) {
  const std::string safe = tarnfetch::SanitizeTitle(title, maxBytes);
  // "video" stands in for a title with nothing usable left.
  CheckSafeName(safe, std::max<std::size_t>(maxBytes, 5));
  // A safe name that fits stays as it is.
  if (safe.size() <= maxBytes) FUZZ_CHECK(tarnfetch::SanitizeTitle(safe, maxBytes) == safe);
}

inline void RunPageParser(std::string_view data) {
  const tarnfetch::PageMedia media = tarnfetch::ParsePage(data);
  FUZZ_CHECK(IsUtf8(media.title));
  FUZZ_CHECK(media.title.empty() || (media.title.front() != ' ' && media.title.back() != ' '));
  FUZZ_CHECK(media.title.find("  ") == std::string::npos);
  FUZZ_CHECK(!HasControlCharacter(media.title) && !HasBidiControl(media.title));
  for (const std::string& address : media.addresses)
    FUZZ_CHECK(!address.empty() && IsTrimmed(address));
  FUZZ_CHECK(media.addresses.size() <= 11 * tarnfetch::PageMedia::kMaxPerSource);
  FUZZ_CHECK(media.frames.size() <= tarnfetch::PageMedia::kMaxFrames);
  FUZZ_CHECK(media.unfetchableStreams.size() <= tarnfetch::PageMedia::kMaxPerSource);
  FUZZ_CHECK(media.entries.size() <= tarnfetch::Feed::kMaxItems);
  for (const auto& [address, type] : media.declaredTypes) {
    FUZZ_CHECK(std::find(media.addresses.begin(), media.addresses.end(), address) !=
               media.addresses.end());
  }
  FUZZ_CHECK(tarnfetch::UnpackScript(data).size() <=
             tarnfetch::PackedScriptLimits::kMaxUnpackedBytes);
  for (const std::string& frame : media.frames) FUZZ_CHECK(!frame.empty() && IsTrimmed(frame));

  // A player's script literal always becomes JSON the library accepts.
  const std::size_t brace = data.find_first_of("{[");
  if (brace != std::string_view::npos) {
    const std::string json = tarnfetch::ScriptLiteralToJson(data.substr(brace));
    FUZZ_CHECK(nlohmann::json::accept(tarnfetch::ToValidUtf8(json)));
  }
  std::vector<std::string> sorted = media.addresses;
  std::sort(sorted.begin(), sorted.end());
  FUZZ_CHECK(std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end());

  // Decoding references keeps valid UTF-8 valid and never grows a text
  // beyond four bytes per input byte.
  const std::string decoded = tarnfetch::DecodeHtmlEntities(data);
  if (IsUtf8(data)) FUZZ_CHECK(IsUtf8(decoded));
  FUZZ_CHECK(decoded.size() <= 4 * data.size());
  const auto ld = tarnfetch::JsonLdContentUrls(data, 8);
  FUZZ_CHECK(ld.size() <= 8);
  for (const auto& candidate : ld) FUZZ_CHECK(!candidate.address.empty());

  CheckSanitizeTitle(media.title, tarnfetch::kMaxTitleBytes);
  CheckSanitizeTitle(data, tarnfetch::kMaxTitleBytes);
  CheckSanitizeTitle(data, data.size() % 64);

  // The page's title in an output template whose last part is the input's
  // first line (as a user could pass it after -p).
  const std::string_view templateText = data.substr(0, std::min(data.find('\n'), data.size()));
  if (templateText.find('\0') != std::string_view::npos) return;
  try {
    const tarnfetch::OutputTarget target =
        tarnfetch::ExpandTemplate(templateText, media.title, "mp4");
    FUZZ_CHECK(!target.name.empty() && target.name.size() <= tarnfetch::kMaxNameBytes);
    FUZZ_CHECK(target.name.find('/') == std::string::npos);
    FUZZ_CHECK(target.name != "." && target.name != "..");
    FUZZ_CHECK(!target.path.empty() && target.path.front() == '/');
  } catch (const tarnfetch::FetchError&) {
    // A template that makes no valid name is refused, which is fine.
  }
}

}  // namespace fuzz
