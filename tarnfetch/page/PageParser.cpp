#include "page/PageParser.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "core/MediaType.h"
#include "core/TitleText.h"
#include "page/FetchableAddress.h"
#include "page/HtmlEntities.h"
#include "page/HtmlTagReader.h"
#include "page/JsonLd.h"
#include "page/MediaCandidate.h"
#include "page/PageEncoding.h"
#include "page/PlayerSetup.h"
#include "shared/Text.h"

namespace tarnfetch {
namespace {

// In the order they are tried.
enum Source {
  kSecureUrl,
  kVideoUrl,
  kOgVideo,
  kTwitterStream,
  kVideoTag,
  kSourceTag,
  kItemProp,
  kJsonLd,
  kPlayerSetup,
  kScriptAddress,
  kSourceCount
};

using Found = std::array<std::vector<MediaCandidate>, kSourceCount>;

// A page may name the same kind of source a million times; the first few
// are all that is ever tried.
void Add(std::vector<MediaCandidate>& list, MediaCandidate candidate) {
  if (list.size() < PageMedia::kMaxPerSource && IsFetchableAddress(candidate.address)) {
    list.push_back(std::move(candidate));
  }
}

void AddAll(std::vector<MediaCandidate>& list, std::vector<MediaCandidate> candidates) {
  for (auto& candidate : candidates) Add(list, std::move(candidate));
}

bool Full(const std::vector<MediaCandidate>& list) {
  return list.size() >= PageMedia::kMaxPerSource;
}

// The quality a <source> states: Plyr's size, the resolution switchers'
// res and label, data-quality.
MediaCandidate SourceCandidate(const HtmlTag& tag, std::string address) {
  MediaCandidate candidate{std::move(address), 0, 0};
  for (const char* name : {"size", "res", "data-res", "height", "data-quality", "label", "title"}) {
    const auto value = tag.Attribute(name);
    if (!value || candidate.height != 0) continue;
    candidate.height = HeightFromLabel(*value);
    if (candidate.height == 0) candidate.height = std::atol(value->substr(0, 8).c_str());
    if (candidate.height < 0 || candidate.height > 100000) candidate.height = 0;
  }
  if (const auto bitrate = tag.Attribute("data-bitrate")) {
    candidate.bitrate = std::strtoull(bitrate->substr(0, 20).c_str(), nullptr, 10);
  }
  return candidate;
}

void ReadMeta(const HtmlTag& tag, Found& found, std::string& ogTitle) {
  const auto content = tag.Attribute("content");
  if (!content) return;
  if (const auto itemprop = tag.Attribute("itemprop");
      itemprop && quillmarsh::LowerAscii(*itemprop) == "contenturl") {
    Add(found[kItemProp], {*content});
  }
  auto key = tag.Attribute("property");
  if (!key) key = tag.Attribute("name");
  if (!key) return;
  const std::string name = quillmarsh::LowerAscii(*key);
  if (name == "og:video:secure_url") Add(found[kSecureUrl], {*content});
  if (name == "og:video:url") Add(found[kVideoUrl], {*content});
  if (name == "og:video") Add(found[kOgVideo], {*content});
  if (name == "twitter:player:stream") Add(found[kTwitterStream], {*content});
  if (name == "og:title" && ogTitle.empty()) ogTitle = CleanTitle(*content);
}

void ReadScript(const HtmlTag& tag, std::string_view text, PageEncoding encoding, Found& found,
                std::vector<MediaCandidate>& embeds) {
  const auto type = tag.Attribute("type");
  if (type && BareContentType(*type) == "application/ld+json") {
    if (Full(found[kJsonLd]) && embeds.size() >= PageMedia::kMaxFrames) return;
    const std::string json = ToUtf8(text.substr(0, 1 << 20), encoding);
    AddAll(found[kJsonLd], JsonLdContentUrls(json, PageMedia::kMaxPerSource));
    for (auto& embed : JsonLdEmbedUrls(json, PageMedia::kMaxFrames)) {
      if (embeds.size() < PageMedia::kMaxFrames) embeds.push_back(std::move(embed));
    }
    return;
  }
  if (!Full(found[kPlayerSetup])) {
    AddAll(found[kPlayerSetup], PlayerScriptAddresses(text, PageMedia::kMaxPerSource));
  }
  if (!Full(found[kScriptAddress])) {
    for (auto& address : ScriptMediaAddresses(text, PageMedia::kMaxPerSource)) {
      Add(found[kScriptAddress], {std::move(address)});
    }
  }
}

void AddFrame(std::vector<std::string>& frames, const std::optional<std::string>& address) {
  if (!address || !IsFetchableAddress(*address) || frames.size() == PageMedia::kMaxFrames) return;
  const std::string trimmed = quillmarsh::Trim(*address);
  if (!trimmed.empty() && std::find(frames.begin(), frames.end(), trimmed) == frames.end()) {
    frames.push_back(trimmed);
  }
}

}  // namespace

PageMedia ParsePage(std::string_view html, std::string_view contentType) {
  Found found;
  PageMedia media;
  std::string ogTitle;
  std::string plainTitle;
  bool seenTitleTag = false;

  // JSON-LD's player pages: followed like frames when the page names no
  // media itself.
  std::vector<MediaCandidate> embeds;
  const PageEncoding encoding = DeclaredEncoding(contentType, html);
  HtmlTagReader reader(html, encoding);
  while (const auto tag = reader.Next()) {
    const std::string& name = tag->name;
    if (name == "meta") {
      ReadMeta(*tag, found, ogTitle);
    } else if (name == "video" || name == "video-js" || name == "audio") {
      for (const char* attribute : {"src", "data-src", "data-video"}) {
        if (const auto src = tag->Attribute(attribute)) Add(found[kVideoTag], {*src});
      }
    } else if (name == "source") {
      // A <source> may name its type; skip ones that say they are not media.
      const auto type = tag->Attribute("type");
      const bool media =
          !type || type->empty() || IsMediaContentType(*type) || IsStreamContentType(*type);
      for (const char* attribute : {"src", "data-src"}) {
        const auto src = tag->Attribute(attribute);
        if (src && media) Add(found[kSourceTag], SourceCandidate(*tag, *src));
      }
    } else if (name == "link") {
      const auto rel = tag->Attribute("rel");
      const auto href = tag->Attribute("href");
      if (rel && href && quillmarsh::LowerAscii(*rel) == "video_src")
        Add(found[kItemProp], {*href});
    } else if (name == "iframe") {
      AddFrame(media.frames, tag->Attribute("src"));
      AddFrame(media.frames, tag->Attribute("data-src"));
    } else if (name == "embed") {
      AddFrame(media.frames, tag->Attribute("src"));
    } else if (name == "object") {
      AddFrame(media.frames, tag->Attribute("data"));
    } else if (name == "script") {
      ReadScript(*tag, reader.RawText(), encoding, found, embeds);
    } else if (name == "title" && !seenTitleTag) {
      seenTitleTag = true;
      // Only the start of an overlong title can end up in a name or caption.
      plainTitle =
          CleanTitle(DecodeHtmlEntities(ToUtf8(reader.RawText().substr(0, 64 * 1024), encoding)));
    }
    for (const char* attribute : {"data-setup", "data-plyr-config"}) {
      if (Full(found[kPlayerSetup])) break;
      if (const auto config = tag->Attribute(attribute)) {
        AddAll(found[kPlayerSetup], PlayerAttributeAddresses(*config, PageMedia::kMaxPerSource));
      }
    }
  }

  // A set, not a search of the list: a page may name many.
  std::unordered_set<std::string> seen;
  for (auto& list : found) {
    SortByQuality(list);
    for (const auto& candidate : list) {
      std::string address = quillmarsh::Trim(candidate.address);
      if (!address.empty() && seen.insert(address).second) {
        media.addresses.push_back(std::move(address));
      }
    }
  }
  if (media.addresses.empty()) {
    for (const auto& embed : embeds) AddFrame(media.frames, embed.address);
  }
  media.title = !ogTitle.empty() ? ogTitle : plainTitle;
  return media;
}

}  // namespace tarnfetch
