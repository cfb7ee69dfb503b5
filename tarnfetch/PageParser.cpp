#include "PageParser.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "HtmlEntities.h"
#include "HtmlTagReader.h"
#include "JsonLd.h"
#include "MediaType.h"
#include "Utf8.h"

namespace tarnfetch {
namespace {

enum Source { kSecureUrl, kVideoUrl, kOgVideo, kVideoTag, kSourceTag, kJsonLd, kSourceCount };

// Blanks and line breaks in titles are layout, not content.
std::string CleanTitle(std::string_view raw) {
  const std::string text = ToValidUtf8(raw);
  std::string out;
  bool pendingBlank = false;
  for (const char c : text) {
    if (static_cast<unsigned char>(c) <= ' ') {
      pendingBlank = !out.empty();
      continue;
    }
    if (pendingBlank) out += ' ';
    pendingBlank = false;
    out += c;
  }
  return out;
}

std::string Trimmed(std::string_view text) {
  const auto notBlank = [](unsigned char c) { return c > ' '; };
  const auto first = std::find_if(text.begin(), text.end(), notBlank);
  const auto last = std::find_if(text.rbegin(), text.rend(), notBlank).base();
  return first < last ? std::string(first, last) : std::string();
}

}  // namespace

PageMedia ParsePage(std::string_view html) {
  std::array<std::vector<std::string>, kSourceCount> found;
  std::string ogTitle;
  std::string plainTitle;
  bool seenTitleTag = false;

  HtmlTagReader reader(html);
  while (const auto tag = reader.Next()) {
    if (tag->name == "meta") {
      auto key = tag->Attribute("property");
      if (!key) key = tag->Attribute("name");
      const auto content = tag->Attribute("content");
      if (!key || !content) continue;
      std::transform(key->begin(), key->end(), key->begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      });
      if (*key == "og:video:secure_url") found[kSecureUrl].push_back(*content);
      if (*key == "og:video:url") found[kVideoUrl].push_back(*content);
      if (*key == "og:video") found[kOgVideo].push_back(*content);
      if (*key == "og:title" && ogTitle.empty()) ogTitle = CleanTitle(*content);
    } else if (tag->name == "video" || tag->name == "audio") {
      if (const auto src = tag->Attribute("src")) found[kVideoTag].push_back(*src);
    } else if (tag->name == "source") {
      // A <source> may name its type; skip ones that say they are neither
      // media nor a stream.
      const auto type = tag->Attribute("type");
      const bool media =
          !type || type->empty() || IsMediaContentType(*type) || IsStreamContentType(*type);
      if (const auto src = tag->Attribute("src"); src && media) found[kSourceTag].push_back(*src);
    } else if (tag->name == "script") {
      const auto type = tag->Attribute("type");
      if (type && BareContentType(*type) == "application/ld+json") {
        for (auto& url : JsonLdContentUrls(reader.RawText())) found[kJsonLd].push_back(url);
      }
    } else if (tag->name == "title" && !seenTitleTag) {
      seenTitleTag = true;
      // Only the start of an overlong title can end up in a name or caption.
      plainTitle = CleanTitle(DecodeHtmlEntities(reader.RawText().substr(0, 64 * 1024)));
    }
  }

  PageMedia media;
  // A set, not a search of the list: a page may name hundreds of thousands.
  std::unordered_set<std::string> seen;
  for (const auto& list : found) {
    for (const auto& raw : list) {
      std::string address = Trimmed(raw);
      if (!address.empty() && seen.insert(address).second) {
        media.addresses.push_back(std::move(address));
      }
    }
  }
  media.title = !ogTitle.empty() ? ogTitle : plainTitle;
  return media;
}

}  // namespace tarnfetch
