#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnfetch {

// Manifests larger than this, or with more segments, are refused, as for
// HLS: a hostile one must not exhaust memory.
constexpr std::size_t kMaxManifestBytes = 8u << 20;

// Bytes first..last of a file, both included.
struct DashRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
};

// One <S> of a SegmentTimeline: r repeats after the first; -1 repeats to
// the next entry's start or the period's end.
struct DashTimelineEntry {
  std::optional<std::uint64_t> t;
  std::uint64_t d = 0;
  std::int64_t r = 0;
};

struct DashListEntry {
  std::string media;  // empty: the representation's own address
  std::optional<DashRange> range;
};

// How a representation is cut into segments: SegmentTemplate, SegmentList
// or SegmentBase, merged down from the period and the adaptation set (a
// level's attribute overrides the one above).
struct DashSegmentInfo {
  enum class Kind { None, Template, List, Base };
  Kind kind = Kind::None;
  std::optional<std::string> media;
  std::optional<std::string> initialization;  // a template, or the list's sourceURL
  std::optional<DashRange> initRange;
  std::optional<std::uint64_t> startNumber;
  std::optional<std::uint64_t> timescale;
  std::optional<double> duration;  // in timescale units; real manifests write floats
  // The media time (timescale units) at which the period begins.
  std::optional<std::uint64_t> presentationTimeOffset;
  std::vector<DashTimelineEntry> timeline;
  std::vector<DashListEntry> list;

  // This level's values over `outer`'s.
  DashSegmentInfo Over(const DashSegmentInfo& outer) const;
};

enum class DashKind { Video, Audio, Other };

struct DashRepresentation {
  std::string id;
  std::string baseUrl;  // absolute
  std::string mimeType;
  std::string codecs;
  std::uint64_t bandwidth = 0;
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  DashKind kind = DashKind::Other;
  bool trickPlay = false;
  bool mainRole = false;  // the set's Role is "main" (or its default)
  bool isProtected = false;
  std::string language;
  int set = 0;  // the adaptation set's position in its period
  DashSegmentInfo segments;
};

struct DashPeriod {
  std::optional<double> start;
  std::optional<double> duration;  // seconds; filled from the next start or the whole
  std::vector<DashRepresentation> representations;
  bool hasAudio = false;  // an adaptation set of sound, whatever it holds
};

// A static MPEG-DASH manifest, read with expat: periods, their adaptation
// sets and representations, each representation with its absolute base
// address and its segment description. Throws FetchError for what cannot
// be downloaded: not a manifest, damaged XML, too large, a live manifest.
class DashManifest {
 public:
  DashManifest(std::string_view text, const std::string& url);

  const std::vector<DashPeriod>& Periods() const { return periods_; }
  const std::string& Url() const { return url_; }
  // How long the whole lasts by the manifest's word: its
  // mediaPresentationDuration, else the sum of its periods when each has
  // a duration; nothing when it does not say.
  std::optional<double> Declared() const;

 private:
  friend struct DashReader;
  std::string url_;
  std::vector<DashPeriod> periods_;
  std::optional<double> whole_;
};

// Seconds of an ISO 8601 duration ("PT1H2M3.5S", "P1DT2H"); nothing when
// it is not one.
std::optional<double> ParseIsoDuration(std::string_view text);

}  // namespace tarnfetch
