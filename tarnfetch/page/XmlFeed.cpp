#include "page/XmlFeed.h"

#include <expat.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "shared/Text.h"
#include "core/MediaType.h"
#include "page/MediaCandidate.h"

namespace tarnfetch {
namespace {

enum class Kind { Unknown, NotFeed, Rss, Atom, Xspf, Smil };

// The element's name without its namespace prefix, in lower case.
std::string LocalName(const char* name) {
  const char* colon = std::strrchr(name, ':');
  return quillmarsh::LowerAscii(colon != nullptr ? colon + 1 : name);
}

const char* AttributeOf(const char** attributes, const char* wanted) {
  for (std::size_t i = 0; attributes[i] != nullptr; i += 2) {
    if (quillmarsh::LowerAscii(attributes[i]) == wanted) return attributes[i + 1];
  }
  return nullptr;
}

struct FeedReader {
  XML_Parser parser = nullptr;
  Kind kind = Kind::Unknown;
  Feed feed;
  int depth = 0;
  int itemDepth = 0;            // the depth of the open item's element; 0: none
  std::string* text = nullptr;  // the element whose text is being read
  std::string smilBase;

  void StartItem(int at) {
    if (feed.StartItem()) {
      itemDepth = at;
    } else {
      XML_StopParser(parser, XML_FALSE);  // the feed's share is full
    }
  }

  void Root(const std::string& name) {
    if (name == "rss")
      kind = Kind::Rss;
    else if (name == "feed")
      kind = Kind::Atom;
    else if (name == "playlist")
      kind = Kind::Xspf;
    else if (name == "smil")
      kind = Kind::Smil;
    else
      kind = Kind::NotFeed;
    if (kind == Kind::NotFeed) XML_StopParser(parser, XML_FALSE);
    if (kind == Kind::Smil) StartItem(1);
  }

  // Media named in an attribute, with the type and quality stated beside it.
  void AddFrom(const char** attributes, const char* addressName) {
    const char* address = AttributeOf(attributes, addressName);
    if (address == nullptr || itemDepth == 0) return;
    MediaCandidate candidate{address};
    if (const char* type = AttributeOf(attributes, "type")) candidate.type = type;
    if (const char* height = AttributeOf(attributes, "height"))
      candidate.height = std::atol(height);
    if (const char* label = AttributeOf(attributes, "label"); label && candidate.height == 0) {
      candidate.height = HeightFromLabel(label);
    }
    if (const char* medium = AttributeOf(attributes, "medium");
        medium && std::strcmp(medium, "video") != 0 && std::strcmp(medium, "audio") != 0) {
      return;  // Media RSS's images and documents
    }
    for (const char* name : {"bitrate", "system-bitrate"}) {
      if (const char* bitrate = AttributeOf(attributes, name)) {
        candidate.bitrate = std::strtoull(bitrate, nullptr, 10);
      }
    }
    if (candidate.height < 0 || candidate.height > 100000) candidate.height = 0;
    if (!candidate.type.empty() && !IsMediaContentType(candidate.type) &&
        !IsStreamContentType(candidate.type)) {
      return;  // an image, a page
    }
    if (kind == Kind::Smil && !smilBase.empty() &&
        candidate.address.find("://") == std::string::npos) {
      candidate.address = smilBase + (smilBase.ends_with('/') ? "" : "/") + candidate.address;
    }
    feed.AddMedia(std::move(candidate));
  }

  void ReadText(std::string& into) {
    into.clear();
    text = &into;
  }

  void Start(const std::string& name, const char** attributes) {
    ++depth;
    if (kind == Kind::Unknown) return Root(name);
    const bool item = (kind == Kind::Rss && name == "item") ||
                      (kind == Kind::Atom && name == "entry") ||
                      (kind == Kind::Xspf && name == "track");
    if (item && itemDepth == 0) return StartItem(depth);
    std::string& title = itemDepth == 0 ? feed.title : feed.items.back().title;
    if (name == "title" && title.empty() &&
        (itemDepth == 0 ? depth <= 3 : depth == itemDepth + 1)) {
      return ReadText(title);
    }
    if (kind == Kind::Rss && (name == "enclosure" || name == "content")) AddFrom(attributes, "url");
    if (kind == Kind::Rss && name == "source") AddFrom(attributes, "file");  // JW Player's feeds
    if (kind == Kind::Atom && name == "link") {
      const char* rel = AttributeOf(attributes, "rel");
      if (rel != nullptr && std::strcmp(rel, "enclosure") == 0) AddFrom(attributes, "href");
    }
    if (kind == Kind::Xspf && name == "location" && itemDepth != 0 &&
        feed.items.back().media.empty()) {
      locationText.clear();
      text = &locationText;
    }
    if (kind == Kind::Smil && name == "meta" && smilBase.empty()) {
      if (const char* base = AttributeOf(attributes, "base")) smilBase = base;
    }
    if (kind == Kind::Smil && (name == "video" || name == "audio" || name == "ref")) {
      AddFrom(attributes, "src");
    }
  }

  void End() {
    if (text == &locationText) feed.AddMedia({quillmarsh::Trim(locationText)});
    text = nullptr;
    if (depth-- == itemDepth && kind != Kind::Smil) itemDepth = 0;
  }

  void Text(std::string_view part) {
    if (text == nullptr) return;
    const std::size_t limit = text == &locationText ? Feed::kMaxAddressBytes : Feed::kMaxTitleBytes;
    text->append(part.substr(0, limit - std::min(limit, text->size())));
  }

  std::string locationText;

  static void OnStart(void* self, const char* name, const char** attributes) {
    static_cast<FeedReader*>(self)->Start(LocalName(name), attributes);
  }
  static void OnEnd(void* self, const char*) { static_cast<FeedReader*>(self)->End(); }
  static void OnText(void* self, const char* data, int length) {
    static_cast<FeedReader*>(self)->Text(std::string_view(data, static_cast<std::size_t>(length)));
  }
  static void OnEntity(void* self, const char*, int, const char*, int, const char*, const char*,
                       const char*, const char*) {
    XML_StopParser(static_cast<FeedReader*>(self)->parser, XML_FALSE);
  }
};

// Feeds begin with an XML declaration or their root element.
bool MayBeFeed(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  text.remove_prefix(std::min(text.find_first_not_of(" \t\r\n"), text.size()));
  const std::string start = quillmarsh::LowerAscii(text.substr(0, 9));
  for (const char* opening : {"<?xml", "<rss", "<feed", "<playlist", "<smil"}) {
    if (start.starts_with(opening)) return true;
  }
  return false;
}

}  // namespace

std::optional<Feed> ReadXmlFeed(std::string_view xml) {
  if (!MayBeFeed(xml)) return std::nullopt;
  std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(XML_ParserCreate(nullptr),
                                                                 &XML_ParserFree);
  if (!parser) throw std::bad_alloc();
  FeedReader reader;
  reader.parser = parser.get();
  XML_SetUserData(parser.get(), &reader);
  XML_SetElementHandler(parser.get(), &FeedReader::OnStart, &FeedReader::OnEnd);
  XML_SetCharacterDataHandler(parser.get(), &FeedReader::OnText);
  XML_SetEntityDeclHandler(parser.get(), &FeedReader::OnEntity);
  // In pieces, so that a stop in a handler ends the reading soon.
  constexpr std::size_t kPiece = 64 << 10;
  for (std::size_t at = 0; at < xml.size(); at += kPiece) {
    const std::size_t size = std::min(kPiece, xml.size() - at);
    const bool last = at + size == xml.size();
    if (XML_Parse(parser.get(), xml.data() + at, static_cast<int>(size), last) != XML_STATUS_OK) {
      break;
    }
  }
  if (reader.kind == Kind::Unknown || reader.kind == Kind::NotFeed) return std::nullopt;
  return std::move(reader.feed);
}

}  // namespace tarnfetch
