#include "PageParser.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "HtmlEntities.h"
#include "HtmlTagReader.h"
#include "JsonLd.h"
#include "MediaType.h"
#include "PageEncoding.h"
#include "TitleText.h"

namespace tarnfetch {
namespace {

enum Source { kSecureUrl, kVideoUrl, kOgVideo, kVideoTag, kSourceTag, kJsonLd, kSourceCount };

// A page may name the same kind of source a million times; the first few
// are all that is ever tried.
void Add(std::vector<std::string>& list, const std::string& address) {
  if (list.size() < PageMedia::kMaxPerSource) list.push_back(address);
}

std::string Trimmed(std::string_view text) {
  const auto notBlank = [](unsigned char c) { return c > ' '; };
  const auto first = std::find_if(text.begin(), text.end(), notBlank);
  const auto last = std::find_if(text.rbegin(), text.rend(), notBlank).base();
  return first < last ? std::string(first, last) : std::string();
}

}  // namespace

PageMedia ParsePage(std::string_view html, std::string_view contentType) {
  std::array<std::vector<std::string>, kSourceCount> found;
  std::string ogTitle;
  std::string plainTitle;
  bool seenTitleTag = false;

  const PageEncoding encoding = DeclaredEncoding(contentType, html);
  HtmlTagReader reader(html, encoding);
  while (const auto tag = reader.Next()) {
    if (tag->name == "meta") {
      auto key = tag->Attribute("property");
      if (!key) key = tag->Attribute("name");
      const auto content = tag->Attribute("content");
      if (!key || !content) continue;
      std::transform(key->begin(), key->end(), key->begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      });
      if (*key == "og:video:secure_url") Add(found[kSecureUrl], *content);
      if (*key == "og:video:url") Add(found[kVideoUrl], *content);
      if (*key == "og:video") Add(found[kOgVideo], *content);
      if (*key == "og:title" && ogTitle.empty()) ogTitle = CleanTitle(*content);
    } else if (tag->name == "video" || tag->name == "audio") {
      if (const auto src = tag->Attribute("src")) Add(found[kVideoTag], *src);
    } else if (tag->name == "source") {
      // A <source> may name its type; skip ones that say they are neither
      // media nor a stream.
      const auto type = tag->Attribute("type");
      const bool media =
          !type || type->empty() || IsMediaContentType(*type) || IsStreamContentType(*type);
      if (const auto src = tag->Attribute("src"); src && media) Add(found[kSourceTag], *src);
    } else if (tag->name == "script") {
      const auto type = tag->Attribute("type");
      if (type && BareContentType(*type) == "application/ld+json") {
        const std::string json = ToUtf8(reader.RawText().substr(0, 1 << 20), encoding);
        for (const auto& candidate : JsonLdContentUrls(json, PageMedia::kMaxPerSource)) {
          Add(found[kJsonLd], candidate.address);
        }
      }
    } else if (tag->name == "title" && !seenTitleTag) {
      seenTitleTag = true;
      // Only the start of an overlong title can end up in a name or caption.
      plainTitle =
          CleanTitle(DecodeHtmlEntities(ToUtf8(reader.RawText().substr(0, 64 * 1024), encoding)));
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
