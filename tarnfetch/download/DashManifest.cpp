#include "download/DashManifest.h"

#include <expat.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/FetchError.h"
#include "core/MediaType.h"
#include "download/HlsPlaylist.h"
#include "http/Url.h"
#include "shared/Numbers.h"
#include "shared/Text.h"

namespace tarnfetch {
namespace {

using quillmarsh::ReadWholeNumber;

enum class Level { Mpd, Period, Set, Representation };

std::string_view LocalName(const char* name) {
  std::string_view local(name);
  const auto colon = local.rfind(':');
  return colon == std::string_view::npos ? local : local.substr(colon + 1);
}

std::string_view Attribute(const char** attributes, std::string_view wanted) {
  for (const char** at = attributes; at[0] != nullptr; at += 2) {
    if (LocalName(at[0]) == wanted) return at[1];
  }
  return {};
}

bool Has(const char** attributes, std::string_view wanted) {
  for (const char** at = attributes; at[0] != nullptr; at += 2) {
    if (LocalName(at[0]) == wanted) return true;
  }
  return false;
}

std::optional<double> ReadReal(std::string_view text) {
  if (text.empty() || text.size() > 64) return std::nullopt;
  const std::string copy(text);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !std::isfinite(value) || value < 0) return std::nullopt;
  return value;
}

// "first-last"
std::optional<DashRange> ReadRange(std::string_view text) {
  const auto dash = text.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const auto first = ReadWholeNumber<std::uint64_t>(text.substr(0, dash));
  const auto last = ReadWholeNumber<std::uint64_t>(text.substr(dash + 1));
  if (!first || !last || *last < *first) return std::nullopt;
  return DashRange{*first, *last};
}

DashKind KindOf(std::string_view contentType, std::string_view mimeType, std::string_view codecs) {
  if (contentType == "video" || mimeType.starts_with("video/")) return DashKind::Video;
  if (contentType == "audio" || mimeType.starts_with("audio/")) return DashKind::Audio;
  if (!contentType.empty() || mimeType.starts_with("text/") || mimeType.starts_with("image/")) {
    return DashKind::Other;
  }
  for (std::string_view video : {"avc", "hvc", "hev", "vp08", "vp09", "vp8", "vp9", "av01"}) {
    if (codecs.starts_with(video)) return DashKind::Video;
  }
  for (std::string_view audio : {"mp4a", "opus", "ac-3", "ec-3", "flac", "vorbis"}) {
    if (codecs.starts_with(audio)) return DashKind::Audio;
  }
  return DashKind::Other;
}

}  // namespace

DashSegmentInfo DashSegmentInfo::Over(const DashSegmentInfo& outer) const {
  DashSegmentInfo merged = outer;
  if (kind != Kind::None) merged.kind = kind;
  const auto take = [](auto& into, const auto& mine) {
    if (mine) into = mine;
  };
  take(merged.media, media);
  take(merged.initialization, initialization);
  take(merged.initRange, initRange);
  take(merged.startNumber, startNumber);
  take(merged.timescale, timescale);
  take(merged.duration, duration);
  take(merged.presentationTimeOffset, presentationTimeOffset);
  if (!timeline.empty()) merged.timeline = timeline;
  if (!list.empty()) merged.list = list;
  return merged;
}

// Reads the manifest as expat hands it over; each level keeps what its
// children inherit.
struct DashReader {
  explicit DashReader(DashManifest& into) : manifest(into) {}

  DashManifest& manifest;
  std::string failure;
  std::size_t segments = 0;  // timeline entries and list entries so far

  std::optional<double> wholeDuration;
  std::string base[4];  // BaseURL as written at each level
  DashSegmentInfo info[4];
  DashSegmentInfo* reading = nullptr;  // the level a SegmentTemplate/List/Base fills

  // The adaptation set's own attributes, the defaults of its representations.
  DashRepresentation set;
  bool setIsAudio = false;
  int setIndex = 0;
  DashRepresentation representation;
  bool inSet = false;
  bool inRepresentation = false;

  std::string* text = nullptr;  // the BaseURL being read
  std::string baseText;
  int depth = 0;
  int baseDepth = -1;

  Level Innermost() const {
    if (inRepresentation) return Level::Representation;
    if (inSet) return Level::Set;
    return manifest.periods_.empty() || !periodOpen ? Level::Mpd : Level::Period;
  }
  bool periodOpen = false;

  void Fail(std::string why) {
    if (failure.empty()) failure = std::move(why);
  }

  void CountSegment() {
    if (++segments > kMaxSegments) {
      Fail("The manifest has more than 100,000 segments: " + manifest.url_);
    }
  }

  void Start(std::string_view name, const char** attributes) {
    ++depth;
    const auto at = [attributes](std::string_view key) { return Attribute(attributes, key); };
    if (name == "MPD") {
      if (at("type") == "dynamic") {
        Fail(
            "The stream is live (its manifest is dynamic); only finished streams can be "
            "downloaded: " +
            manifest.url_);
      }
      wholeDuration = ParseIsoDuration(at("mediaPresentationDuration"));
    } else if (name == "Period") {
      manifest.periods_.emplace_back();
      periodOpen = true;
      manifest.periods_.back().start = ParseIsoDuration(at("start"));
      manifest.periods_.back().duration = ParseIsoDuration(at("duration"));
      base[1].clear();
      info[1] = {};
      setIndex = 0;
    } else if (name == "AdaptationSet" && periodOpen) {
      inSet = true;
      base[2].clear();
      info[2] = {};
      set = {};
      set.mimeType = at("mimeType");
      set.codecs = at("codecs");
      set.language = at("lang");
      set.width = ReadWholeNumber<std::uint64_t>(at("width")).value_or(0);
      set.height = ReadWholeNumber<std::uint64_t>(at("height")).value_or(0);
      set.set = setIndex++;
      set.kind = KindOf(at("contentType"), set.mimeType, set.codecs);
      setIsAudio = set.kind == DashKind::Audio;
    } else if (name == "Representation" && inSet) {
      inRepresentation = true;
      base[3].clear();
      info[3] = {};
      representation = set;
      representation.id = at("id");
      representation.bandwidth = ReadWholeNumber<std::uint64_t>(at("bandwidth")).value_or(0);
      if (Has(attributes, "width")) {
        representation.width = ReadWholeNumber<std::uint64_t>(at("width")).value_or(0);
      }
      if (Has(attributes, "height")) {
        representation.height = ReadWholeNumber<std::uint64_t>(at("height")).value_or(0);
      }
      if (Has(attributes, "mimeType")) representation.mimeType = at("mimeType");
      if (Has(attributes, "codecs")) representation.codecs = at("codecs");
    } else if (name == "ContentComponent" && inSet && set.kind == DashKind::Other) {
      set.kind = KindOf(at("contentType"), {}, {});
      setIsAudio = set.kind == DashKind::Audio;
    } else if (name == "ContentProtection") {
      (inRepresentation ? representation : set).isProtected = true;
    } else if (name == "Role" && inSet && !inRepresentation) {
      set.mainRole = set.mainRole || at("value") == "main";
    } else if ((name == "EssentialProperty" || name == "SupplementalProperty") && inSet &&
               at("schemeIdUri").find("trickmode") != std::string_view::npos) {
      set.trickPlay = true;
    } else if (name == "BaseURL") {
      const Level level = Innermost();
      std::string& target = base[static_cast<int>(level)];
      if (target.empty()) {  // the first one counts
        baseText.clear();
        text = &baseText;
        baseDepth = depth;
      }
    } else if (name == "SegmentTemplate" || name == "SegmentList" || name == "SegmentBase") {
      reading = &info[static_cast<int>(Innermost())];
      reading->kind = name == "SegmentTemplate" ? DashSegmentInfo::Kind::Template
                      : name == "SegmentList"   ? DashSegmentInfo::Kind::List
                                                : DashSegmentInfo::Kind::Base;
      if (Has(attributes, "media")) reading->media = at("media");
      if (Has(attributes, "initialization")) reading->initialization = at("initialization");
      if (auto number = ReadWholeNumber<std::uint64_t>(at("startNumber"))) {
        reading->startNumber = number;
      }
      if (auto scale = ReadWholeNumber<std::uint64_t>(at("timescale")); scale && *scale > 0) {
        reading->timescale = scale;
      }
      if (auto duration = ReadReal(at("duration")); duration && *duration > 0) {
        reading->duration = duration;
      }
      if (auto offset = ReadWholeNumber<std::uint64_t>(at("presentationTimeOffset"))) {
        reading->presentationTimeOffset = offset;
      }
    } else if (name == "SegmentTimeline" && reading != nullptr) {
      reading->timeline.clear();
    } else if (name == "S" && reading != nullptr) {
      DashTimelineEntry entry;
      entry.t = ReadWholeNumber<std::uint64_t>(at("t"));
      entry.d = ReadWholeNumber<std::uint64_t>(at("d")).value_or(0);
      entry.r = ReadWholeNumber<std::int64_t>(at("r")).value_or(0);
      if (entry.d == 0 || entry.r < -1 || entry.r >= static_cast<std::int64_t>(kMaxSegments)) {
        Fail("The manifest has a damaged segment timeline: " + manifest.url_);
      }
      reading->timeline.push_back(entry);
      CountSegment();
    } else if (name == "Initialization" && reading != nullptr) {
      if (Has(attributes, "sourceURL")) reading->initialization = at("sourceURL");
      if (Has(attributes, "range")) {
        reading->initRange = ReadRange(at("range"));
        if (!reading->initRange) Fail("The manifest has a damaged byte range: " + manifest.url_);
      }
    } else if (name == "SegmentURL" && reading != nullptr) {
      DashListEntry entry;
      entry.media = at("media");
      if (Has(attributes, "mediaRange")) {
        entry.range = ReadRange(at("mediaRange"));
        if (!entry.range) Fail("The manifest has a damaged byte range: " + manifest.url_);
      }
      reading->list.push_back(std::move(entry));
      CountSegment();
    }
  }

  void End(std::string_view name) {
    if (name == "BaseURL" && text != nullptr && depth == baseDepth) {
      std::string& target = base[static_cast<int>(Innermost())];
      target = quillmarsh::Trim(baseText);
      text = nullptr;
    } else if (name == "SegmentTemplate" || name == "SegmentList" || name == "SegmentBase") {
      reading = nullptr;
    } else if (name == "Representation" && inRepresentation) {
      inRepresentation = false;
      FinishRepresentation();
    } else if (name == "AdaptationSet" && inSet) {
      inSet = false;
      if (setIsAudio) manifest.periods_.back().hasAudio = true;
    } else if (name == "Period") {
      periodOpen = false;
    }
    --depth;
  }

  void FinishRepresentation() {
    // The set's kind when it says one, else the representation's own.
    representation.kind = set.kind != DashKind::Other
                              ? set.kind
                              : KindOf({}, representation.mimeType, representation.codecs);
    if (representation.kind == DashKind::Audio) manifest.periods_.back().hasAudio = true;
    representation.isProtected = representation.isProtected || set.isProtected;
    representation.mainRole = set.mainRole;
    representation.trickPlay = set.trickPlay;
    representation.segments = info[3].Over(info[2].Over(info[1].Over(info[0])));
    std::string address = manifest.url_;
    for (const std::string& level : base) {
      if (level.empty()) continue;
      auto resolved = ResolveUrl(address, level);
      if (!resolved) {
        Fail("The manifest names an address that cannot be read (" + level + "): " + manifest.url_);
        return;
      }
      address = std::move(*resolved);
    }
    if (!IsWebUrl(address)) {
      Fail("The manifest names an address that is not http or https (" + address + ")");
      return;
    }
    representation.baseUrl = std::move(address);
    manifest.periods_.back().representations.push_back(std::move(representation));
    representation = {};
  }

  static void OnStart(void* self, const char* name, const char** attributes) {
    auto& reader = *static_cast<DashReader*>(self);
    reader.Start(LocalName(name), attributes);
  }
  static void OnEnd(void* self, const char* name) {
    auto& reader = *static_cast<DashReader*>(self);
    reader.End(LocalName(name));
  }
  static void OnText(void* self, const char* data, int length) {
    auto& reader = *static_cast<DashReader*>(self);
    if (reader.text != nullptr && reader.text->size() < 8192) {
      reader.text->append(data, static_cast<std::size_t>(length));
    }
  }
  static void OnDoctype(void* self, const char*, const char*, const char*, int) {
    auto& reader = *static_cast<DashReader*>(self);
    reader.Fail("The manifest declares a document type, which manifests never do: " +
                reader.manifest.url_);
  }
};

DashManifest::DashManifest(std::string_view text, const std::string& url) : url_(url) {
  if (text.size() > kMaxManifestBytes) {
    throw FetchError("The manifest is larger than 8 MiB: " + url_);
  }
  if (!LooksLikeDashManifest(text)) {
    throw FetchError("The address is not a DASH manifest: " + url_);
  }
  std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(XML_ParserCreate(nullptr),
                                                                 &XML_ParserFree);
  if (!parser) throw std::bad_alloc();
  DashReader reader(*this);
  XML_SetUserData(parser.get(), &reader);
  XML_SetElementHandler(parser.get(), &DashReader::OnStart, &DashReader::OnEnd);
  XML_SetCharacterDataHandler(parser.get(), &DashReader::OnText);
  XML_SetStartDoctypeDeclHandler(parser.get(), &DashReader::OnDoctype);
  // In pieces, so that a failure found in a handler stops the reading soon.
  constexpr std::size_t kPiece = 64 << 10;
  bool parsed = true;
  for (std::size_t at = 0; parsed && reader.failure.empty(); at += kPiece) {
    const bool last = at + kPiece >= text.size();
    const std::size_t size = last ? text.size() - std::min(at, text.size()) : kPiece;
    parsed = XML_Parse(parser.get(), text.data() + std::min(at, text.size()),
                       static_cast<int>(size), last) == XML_STATUS_OK;
    if (last) break;
  }
  if (!reader.failure.empty()) throw FetchError(reader.failure);
  if (!parsed) {
    throw FetchError(std::string("The manifest is damaged (") +
                     XML_ErrorString(XML_GetErrorCode(parser.get())) + "): " + url_);
  }
  if (periods_.empty()) throw FetchError("The manifest names no periods: " + url_);
  whole_ = reader.wholeDuration;
  // A period without a duration lasts to the next one's start, or to the
  // end of the whole.
  double at = 0;
  for (std::size_t i = 0; i < periods_.size(); ++i) {
    DashPeriod& period = periods_[i];
    if (!period.start) period.start = at;
    if (!period.duration) {
      const auto next = i + 1 < periods_.size() ? periods_[i + 1].start : std::nullopt;
      if (next && *next > *period.start) {
        period.duration = *next - *period.start;
      } else if (i + 1 == periods_.size() && reader.wholeDuration &&
                 *reader.wholeDuration > *period.start) {
        period.duration = *reader.wholeDuration - *period.start;
      }
    }
    at = *period.start + period.duration.value_or(0);
    if (!std::isfinite(at)) throw FetchError("The manifest's periods have no end in time: " + url_);
  }
}

std::optional<double> DashManifest::Declared() const {
  if (whole_) return whole_;
  double sum = 0;
  for (const DashPeriod& period : periods_) {
    if (!period.duration) return std::nullopt;
    sum += *period.duration;
  }
  if (!std::isfinite(sum)) return std::nullopt;
  return sum;
}

std::optional<double> ParseIsoDuration(std::string_view text) {
  if (!text.starts_with('P')) return std::nullopt;
  text.remove_prefix(1);
  double seconds = 0;
  bool inTime = false;
  bool any = false;
  while (!text.empty()) {
    if (text.front() == 'T') {
      if (inTime) return std::nullopt;
      inTime = true;
      text.remove_prefix(1);
      continue;
    }
    const auto unit = text.find_first_of("YMWDHS");
    if (unit == std::string_view::npos || unit == 0) return std::nullopt;
    const auto value = ReadReal(text.substr(0, unit));
    if (!value) return std::nullopt;
    const char name = text[unit];
    double factor = 0;
    if (!inTime && name == 'Y') factor = 365.25 * 86400;
    if (!inTime && name == 'M') factor = 30.44 * 86400;
    if (!inTime && name == 'W') factor = 7 * 86400;
    if (!inTime && name == 'D') factor = 86400;
    if (inTime && name == 'H') factor = 3600;
    if (inTime && name == 'M') factor = 60;
    if (inTime && name == 'S') factor = 1;
    if (factor == 0) return std::nullopt;
    seconds += *value * factor;
    any = true;
    text.remove_prefix(unit + 1);
  }
  if (!any || !std::isfinite(seconds)) return std::nullopt;
  return seconds;
}

}  // namespace tarnfetch
