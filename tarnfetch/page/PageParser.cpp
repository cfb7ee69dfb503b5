#include "page/PageParser.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "core/MediaType.h"
#include "core/TitleText.h"
#include "page/FetchableAddress.h"
#include "page/HtmlEntities.h"
#include "page/HtmlTagReader.h"
#include "page/JsonFeed.h"
#include "page/JsonLd.h"
#include "page/MediaCandidate.h"
#include "page/PackedScript.h"
#include "page/PageEncoding.h"
#include "page/PlayerSetup.h"
#include "page/XmlFeed.h"
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
  kDataAttribute,
  kItemProp,
  kJsonLd,
  kPlayerSetup,
  kScriptAddress,
  kSourceCount
};

// Packed scripts unpacked per page, nested ones included: each costs up to
// a MiB of work.
constexpr std::size_t kMaxUnpackedScripts = 8;
// A packed script may hold another; deeper ones are not unpacked.
constexpr int kMaxPackingDepth = 2;

struct Found {
  std::array<std::vector<MediaCandidate>, kSourceCount> lists;
  std::vector<std::string> unfetchable;
  // Player pages, followed when the page names no media: JSON-LD embedUrl,
  // twitter:player.
  std::vector<std::string> embeds;
  std::vector<std::string> feeds;  // players' playlist feeds
  std::size_t unpacked = 0;
};

bool Full(const std::vector<MediaCandidate>& list) {
  return list.size() >= PageMedia::kMaxPerSource;
}

// A page may name the same kind of source a million times; the first few
// are all that is ever tried. Streams that cannot be fetched are kept
// apart, to say so when nothing else is found.
void Add(Found& found, Source source, MediaCandidate candidate) {
  if (!Full(found.lists[source]) && IsFetchableAddress(candidate.address)) {
    found.lists[source].push_back(std::move(candidate));
  } else if (found.unfetchable.size() < PageMedia::kMaxPerSource &&
             !StreamProtocolName(candidate.address).empty()) {
    found.unfetchable.push_back(quillmarsh::Trim(candidate.address));
  }
}

void AddAll(Found& found, Source source, std::vector<MediaCandidate> candidates) {
  for (auto& candidate : candidates) Add(found, source, std::move(candidate));
}

void AddPage(std::vector<std::string>& pages, const std::optional<std::string>& address) {
  if (!address || !IsFetchableAddress(*address) || pages.size() == PageMedia::kMaxFrames) return;
  const std::string trimmed = quillmarsh::Trim(*address);
  if (!trimmed.empty() && std::find(pages.begin(), pages.end(), trimmed) == pages.end()) {
    pages.push_back(trimmed);
  }
}

// A frame or an embedded player; one that plays a stream named in another
// protocol (<embed src="mms://...">) is told apart as media is.
void AddFrame(Found& found, std::vector<std::string>& frames,
              const std::optional<std::string>& address) {
  if (address && !StreamProtocolName(*address).empty()) return Add(found, kVideoTag, {*address});
  AddPage(frames, address);
}

// The quality a <source> states: Plyr's size, the resolution switchers'
// res and label, data-quality; and its declared type.
MediaCandidate SourceCandidate(const HtmlTag& tag, std::string address) {
  MediaCandidate candidate{std::move(address), 0, 0, tag.Attribute("type").value_or("")};
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
    Add(found, kItemProp, {*content});
  }
  auto key = tag.Attribute("property");
  if (!key) key = tag.Attribute("name");
  if (!key) return;
  const std::string name = quillmarsh::LowerAscii(*key);
  if (name == "og:video:secure_url") Add(found, kSecureUrl, {*content});
  if (name == "og:video:url") Add(found, kVideoUrl, {*content});
  if (name == "og:video") Add(found, kOgVideo, {*content});
  if (name == "twitter:player:stream") Add(found, kTwitterStream, {*content});
  if (name == "twitter:player") AddPage(found.embeds, content);
  if (name == "og:title" && ogTitle.empty()) ogTitle = CleanTitle(*content);
}

// Lazy loaders and players keep addresses in data-* attributes of their
// own naming (data-video-src, data-mp4, data-hls, data-dash ...): one
// counts when its value is a media or stream address, or a configuration.
void ReadDataAttributes(const HtmlTag& tag, Found& found) {
  for (const auto& [name, value] : tag.attributes) {
    if (!name.starts_with("data-") || name == "data-src" || name == "data-video" ||
        name == "data-setup" || name == "data-plyr-config" || Full(found.lists[kDataAttribute])) {
      continue;
    }
    const std::string address = quillmarsh::Trim(value);
    if (address.starts_with("{") || address.starts_with("[")) {
      AddAll(found, kDataAttribute, PlayerAttributeAddresses(address, PageMedia::kMaxPerSource));
      continue;
    }
    const std::string extension = PathExtension(address);
    const bool media = IsMediaExtension(extension) || IsStreamExtension(extension) ||
                       !StreamProtocolName(address).empty();
    if (media && address.find_first_of(" \t\n") == std::string::npos) {
      Add(found, kDataAttribute, {address});
    }
  }
}

void ReadMediaTag(const HtmlTag& tag, Found& found) {
  if (tag.name == "source") {
    // A <source> may name its type; skip ones that say they are not media.
    const auto type = tag.Attribute("type");
    if (type && !type->empty() && !IsMediaContentType(*type) && !IsStreamContentType(*type)) {
      return;
    }
    for (const char* attribute : {"src", "data-src"}) {
      if (const auto src = tag.Attribute(attribute)) {
        Add(found, kSourceTag, SourceCandidate(tag, *src));
      }
    }
  } else {
    for (const char* attribute : {"src", "data-src", "data-video"}) {
      if (const auto src = tag.Attribute(attribute)) Add(found, kVideoTag, {*src});
    }
  }
  ReadDataAttributes(tag, found);
}

void ReadScriptText(std::string_view text, Found& found, int depth) {
  if (!Full(found.lists[kPlayerSetup])) {
    AddAll(found, kPlayerSetup, PlayerScriptAddresses(text, PageMedia::kMaxPerSource));
  }
  for (auto& feed : PlayerFeedAddresses(text, PageMedia::kMaxFrames)) {
    AddPage(found.feeds, feed);
  }
  if (!Full(found.lists[kScriptAddress])) {
    for (auto& address : ScriptMediaAddresses(text, PageMedia::kMaxPerSource)) {
      Add(found, kScriptAddress, {std::move(address)});
    }
  }
  if (depth < kMaxPackingDepth && found.unpacked < kMaxUnpackedScripts) {
    const std::string unpacked = UnpackScript(text);
    if (unpacked.empty()) return;
    ++found.unpacked;
    ReadScriptText(unpacked, found, depth + 1);
  }
}

void ReadScript(const HtmlTag& tag, std::string_view text, PageEncoding encoding, Found& found) {
  const auto type = tag.Attribute("type");
  if (type && BareContentType(*type) == "application/ld+json") {
    if (Full(found.lists[kJsonLd]) && found.embeds.size() >= PageMedia::kMaxFrames) return;
    const std::string json = ToUtf8(text.substr(0, 1 << 20), encoding);
    AddAll(found, kJsonLd, JsonLdContentUrls(json, PageMedia::kMaxPerSource));
    for (auto& embed : JsonLdEmbedUrls(json, PageMedia::kMaxFrames)) {
      AddPage(found.embeds, embed.address);
    }
    return;
  }
  ReadScriptText(text, found, 0);
}

// The found addresses best first, without duplicates, with their types.
void Collect(Found& found, PageMedia& media) {
  // A set, not a search of the list: a page may name many.
  std::unordered_set<std::string> seen;
  for (auto& list : found.lists) {
    SortByQuality(list);
    for (auto& candidate : list) {
      std::string address = quillmarsh::Trim(candidate.address);
      if (address.empty() || !seen.insert(address).second) continue;
      if (!candidate.type.empty()) media.declaredTypes.emplace(address, std::move(candidate.type));
      media.addresses.push_back(std::move(address));
    }
  }
  std::vector<std::string> frames = std::move(found.feeds);
  for (const std::string& frame : media.frames) AddPage(frames, frame);
  if (media.addresses.empty()) {
    for (const std::string& embed : found.embeds) AddPage(frames, embed);
  }
  media.frames = std::move(frames);
  media.unfetchableStreams = std::move(found.unfetchable);
}

PageMedia ParseHtml(std::string_view html, std::string_view contentType) {
  Found found;
  PageMedia media;
  std::string ogTitle;
  std::string plainTitle;
  bool seenTitleTag = false;
  const PageEncoding encoding = DeclaredEncoding(contentType, html);
  HtmlTagReader reader(html, encoding);
  while (const auto tag = reader.Next()) {
    const std::string& name = tag->name;
    if (name == "meta") {
      ReadMeta(*tag, found, ogTitle);
    } else if (name == "video" || name == "video-js" || name == "audio" || name == "source") {
      ReadMediaTag(*tag, found);
    } else if (name == "link") {
      const auto rel = tag->Attribute("rel");
      const auto href = tag->Attribute("href");
      if (rel && href && quillmarsh::LowerAscii(*rel) == "video_src")
        Add(found, kItemProp, {*href});
    } else if (name == "iframe") {
      AddFrame(found, media.frames, tag->Attribute("src"));
      AddFrame(found, media.frames, tag->Attribute("data-src"));
    } else if (name == "embed") {
      AddFrame(found, media.frames, tag->Attribute("src"));
    } else if (name == "object") {
      AddFrame(found, media.frames, tag->Attribute("data"));
    } else if (name == "script") {
      ReadScript(*tag, reader.RawText(), encoding, found);
    } else if (name == "title" && !seenTitleTag) {
      seenTitleTag = true;
      // Only the start of an overlong title can end up in a name or caption.
      plainTitle =
          CleanTitle(DecodeHtmlEntities(ToUtf8(reader.RawText().substr(0, 64 * 1024), encoding)));
    }
    for (const char* attribute : {"data-setup", "data-plyr-config"}) {
      if (Full(found.lists[kPlayerSetup])) break;
      if (const auto config = tag->Attribute(attribute)) {
        AddAll(found, kPlayerSetup, PlayerAttributeAddresses(*config, PageMedia::kMaxPerSource));
      }
    }
  }
  Collect(found, media);
  media.title = !ogTitle.empty() ? ogTitle : plainTitle;
  return media;
}

// A feed's first item is the video; all its items are listed.
PageMedia FromFeed(Feed feed) {
  PageMedia media;
  for (const FeedItem& item : feed.items) {
    media.entries.push_back(
        {item.media.empty() ? std::string() : quillmarsh::Trim(item.media.front().address),
         CleanTitle(item.title)});
  }
  if (feed.items.empty()) return media;
  Found found;
  AddAll(found, kSourceTag, std::move(feed.items.front().media));
  Collect(found, media);
  media.title =
      CleanTitle(!feed.items.front().title.empty() ? feed.items.front().title : feed.title);
  return media;
}

}  // namespace

PageMedia ParsePage(std::string_view html, std::string_view contentType) {
  if (LooksLikeJson(html)) return FromFeed(ReadJsonFeed(html));
  if (auto feed = ReadXmlFeed(html)) return FromFeed(std::move(*feed));
  return ParseHtml(html, contentType);
}

}  // namespace tarnfetch
