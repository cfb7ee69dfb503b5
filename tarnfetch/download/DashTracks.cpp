#include "download/DashTracks.h"

#include <cmath>
#include <cstdio>
#include <string_view>
#include <vector>

#include "core/FetchError.h"
#include "download/DashManifest.h"
#include "download/FragmentPlaylist.h"
#include "download/HlsPlaylist.h"
#include "http/Url.h"
#include "shared/Text.h"

namespace tarnfetch {
namespace {

using Kind = DashSegmentInfo::Kind;

// Values a template's identifiers stand for.
struct TemplateValues {
  const DashRepresentation& representation;
  std::uint64_t number = 0;
  std::uint64_t time = 0;
};

// Expands $RepresentationID$, $Number$, $Time$, $Bandwidth$ (with a width
// such as %05d) and $$; everything else is kept as written.
std::string Expand(std::string_view pattern, const TemplateValues& values, const std::string& url) {
  std::string out;
  while (!pattern.empty()) {
    const auto dollar = pattern.find('$');
    out.append(pattern.substr(0, dollar));
    if (dollar == std::string_view::npos) break;
    const auto close = pattern.find('$', dollar + 1);
    if (close == std::string_view::npos) {
      throw FetchError("The manifest has a damaged segment template: " + url);
    }
    std::string_view name = pattern.substr(dollar + 1, close - dollar - 1);
    pattern.remove_prefix(close + 1);
    if (name.empty()) {
      out.push_back('$');
      continue;
    }
    std::string_view format = "%d";
    if (const auto percent = name.find('%'); percent != std::string_view::npos) {
      format = name.substr(percent);
      name = name.substr(0, percent);
    }
    if (name == "RepresentationID") {
      out += values.representation.id;
      continue;
    }
    std::uint64_t number = 0;
    if (name == "Number") {
      number = values.number;
    } else if (name == "Time") {
      number = values.time;
    } else if (name == "Bandwidth") {
      number = values.representation.bandwidth;
    } else {
      throw FetchError("The manifest's segment template names $" + std::string(name) +
                       "$, which is not known: " + url);
    }
    // Only widths of decimal numbers: "%d", "%05d".
    int width = 0;
    const bool plain = format == "%d";
    if (!plain && !(format.size() >= 4 && format.starts_with("%0") && format.ends_with('d') &&
                    std::sscanf(std::string(format.substr(2)).c_str(), "%d", &width) == 1 &&
                    width > 0 && width <= 32)) {
      throw FetchError("The manifest's segment template has a width it cannot use (" +
                       std::string(format) + "): " + url);
    }
    char digits[48];
    std::snprintf(digits, sizeof digits, "%0*llu", width, static_cast<unsigned long long>(number));
    out += digits;
  }
  return out;
}

std::string RangeText(const DashRange& range) {
  return std::to_string(range.last - range.first + 1) + "@" + std::to_string(range.first);
}

// Writes one representation's segments of one period into the playlist.
class PlaylistWriter {
 public:
  explicit PlaylistWriter(std::string url) : url_(std::move(url)) {
    text_ = "#EXTM3U\n#EXT-X-VERSION:7\n#EXT-X-PLAYLIST-TYPE:VOD\n";
  }

  void Add(const DashRepresentation& rep, const DashPeriod& period, const std::string& manifest) {
    const DashSegmentInfo& info = rep.segments;
    // Addresses relative to another base are written whole.
    base_ = rep.baseUrl;
    manifest_ = &manifest;
    if (info.kind == Kind::Base || info.kind == Kind::None) {
      Segment(0, rep.baseUrl, std::nullopt);  // one file holds it all
      return;
    }
    const std::uint64_t timescale = info.timescale.value_or(1);
    const double seconds = period.duration.value_or(0);
    if (info.kind == Kind::List) {
      if (info.initialization || info.initRange) {
        Map(info.initialization.value_or(""), info.initRange);
      }
      const double each = info.duration.value_or(0) / static_cast<double>(timescale);
      for (const DashListEntry& entry : info.list) Segment(each, entry.media, entry.range);
      if (info.list.empty()) Fail("The manifest lists no segments");
      return;
    }
    TemplateValues values{rep};
    if (info.initialization) Map(Expand(*info.initialization, values, manifest), std::nullopt);
    if (!info.media) Fail("The manifest's segment template names no segments");
    const std::string& media = *info.media;
    std::uint64_t number = info.startNumber.value_or(1);
    if (!info.timeline.empty()) {
      const double end = seconds * static_cast<double>(timescale);
      std::uint64_t time = 0;
      for (std::size_t i = 0; i < info.timeline.size(); ++i) {
        const DashTimelineEntry& entry = info.timeline[i];
        if (entry.t) time = *entry.t;
        std::uint64_t repeats = static_cast<std::uint64_t>(std::max<std::int64_t>(entry.r, 0));
        if (entry.r < 0) {
          // To the next entry's start, else to the period's end.
          const auto next = i + 1 < info.timeline.size() ? info.timeline[i + 1].t : std::nullopt;
          const double until = next ? static_cast<double>(*next) : end;
          if (until <= static_cast<double>(time)) Fail("The manifest's timeline has no end");
          const double count =
              std::ceil((until - static_cast<double>(time)) / static_cast<double>(entry.d));
          if (count > static_cast<double>(kMaxSegments)) TooMany();
          repeats = static_cast<std::uint64_t>(count) - 1;
        }
        for (std::uint64_t k = 0; k <= repeats; ++k) {
          values.number = number++;
          values.time = time;
          Segment(static_cast<double>(entry.d) / static_cast<double>(timescale),
                  Expand(media, values, manifest), std::nullopt);
          time += entry.d;
        }
      }
      return;
    }
    if (!info.duration) Fail("The manifest's segment template gives no duration");
    if (seconds <= 0) Fail("The manifest does not say how long the stream is");
    // The last segment may be shorter than the others.
    const double count =
        std::ceil(seconds * static_cast<double>(timescale) / *info.duration - 1e-9);
    if (count > static_cast<double>(kMaxSegments)) TooMany();
    const double each = *info.duration / static_cast<double>(timescale);
    for (std::uint64_t i = 0; i < static_cast<std::uint64_t>(count); ++i) {
      values.number = number + i;
      values.time = static_cast<std::uint64_t>(static_cast<double>(i) * *info.duration);
      const double left = seconds - static_cast<double>(i) * each;
      Segment(std::min(each, left), Expand(media, values, manifest), std::nullopt);
    }
  }

  std::size_t Count() const { return count_; }

  std::string Finish() {
    text_ += "#EXT-X-ENDLIST\n";
    return std::move(text_);
  }

 private:
  [[noreturn]] void Fail(const std::string& why) { throw FetchError(why + ": " + *manifest_); }
  [[noreturn]] void TooMany() { Fail("The manifest has more than 100,000 segments"); }

  // The address as the playlist's line: relative to the playlist's own
  // address when the representation shares it, else whole.
  std::string Line(const std::string& uri) {
    if (base_ == url_) return PlaylistUri(uri.empty() ? base_ : uri);
    const auto whole = uri.empty() ? std::optional<std::string>(base_) : ResolveUrl(base_, uri);
    if (!whole) Fail("The manifest names an address that cannot be read (" + uri + ")");
    return PlaylistUri(*whole);
  }

  void Map(const std::string& uri, const std::optional<DashRange>& range) {
    text_ += "#EXT-X-MAP:URI=\"" + Line(uri) + "\"";
    if (range) text_ += ",BYTERANGE=\"" + RangeText(*range) + "\"";
    text_ += "\n";
  }

  void Segment(double seconds, const std::string& uri, const std::optional<DashRange>& range) {
    if (++count_ > kMaxSegments) TooMany();
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.6f", seconds);
    text_ += "#EXTINF:" + std::string(duration) + ",\n";
    if (range) text_ += "#EXT-X-BYTERANGE:" + RangeText(*range) + "\n";
    text_ += Line(uri) + "\n";
    if (text_.size() > kMaxPlaylistBytes) {
      Fail("The manifest lists more segments than can be kept");
    }
  }

  std::string url_;
  std::string base_;
  const std::string* manifest_ = nullptr;
  std::string text_;
  std::size_t count_ = 0;
};

bool Better(const DashRepresentation& a, const DashRepresentation& b) {
  if (a.bandwidth != b.bandwidth) return a.bandwidth > b.bandwidth;
  return a.width * a.height > b.width * b.height;
}

const DashRepresentation* BestPicture(const DashPeriod& period) {
  const DashRepresentation* best = nullptr;
  for (const DashRepresentation& rep : period.representations) {
    if (rep.kind == DashKind::Video && !rep.trickPlay && (best == nullptr || Better(rep, *best))) {
      best = &rep;
    }
  }
  return best;
}

// A language's primary subtag in lower case: "en-US", "EN" and the
// "en_stereo" some packagers write are all "en".
std::string PrimaryLanguage(std::string_view language) {
  return quillmarsh::LowerAscii(language.substr(0, language.find_first_of("-_")));
}

// The main role's sets first, then the first language listed among them
// (by primary subtag), then the highest bandwidth.
const DashRepresentation* BestSound(const DashPeriod& period) {
  std::vector<const DashRepresentation*> sounds;
  bool anyMain = false;
  for (const DashRepresentation& rep : period.representations) {
    if (rep.kind == DashKind::Audio) {
      sounds.push_back(&rep);
      anyMain = anyMain || rep.mainRole;
    }
  }
  std::optional<std::string> language;
  const DashRepresentation* best = nullptr;
  for (const DashRepresentation* rep : sounds) {
    if (anyMain && !rep->mainRole) continue;
    if (!language) language = PrimaryLanguage(rep->language);
    if (PrimaryLanguage(rep->language) != *language) continue;
    if (best == nullptr || Better(*rep, *best)) best = rep;
  }
  return best;
}

void RefuseProtected(const DashRepresentation* rep, const std::string& url) {
  if (rep != nullptr && rep->isProtected) {
    throw FetchError(
        "The stream is protected by DRM (ContentProtection) and cannot be downloaded: " + url);
  }
}

DashTrack WriteTrack(
    const std::vector<std::pair<const DashRepresentation*, const DashPeriod*>>& parts,
    const std::string& url) {
  PlaylistWriter writer(parts.front().first->baseUrl);
  std::vector<PeriodShift> shifts;
  for (const auto& [rep, period] : parts) {
    if (parts.size() > 1) shifts.push_back({writer.Count(), PeriodShiftSeconds(*period, *rep)});
    writer.Add(*rep, *period, url);
  }
  return {writer.Finish(), parts.front().first->baseUrl, parts.front().first->codecs,
          std::move(shifts)};
}

}  // namespace

DashTracks ChooseDashTracks(const DashManifest& manifest) {
  const std::string& url = manifest.Url();
  using Part = std::pair<const DashRepresentation*, const DashPeriod*>;
  std::vector<Part> pictures;
  std::vector<Part> sounds;
  for (const DashPeriod& period : manifest.Periods()) {
    const DashRepresentation* picture = BestPicture(period);
    const DashRepresentation* sound = BestSound(period);
    RefuseProtected(picture, url);
    RefuseProtected(sound, url);
    if (picture != nullptr) pictures.emplace_back(picture, &period);
    if (sound != nullptr) sounds.emplace_back(sound, &period);
    if (picture == nullptr && sound == nullptr) {
      throw FetchError(period.hasAudio ? "The manifest's sound cannot be read: " + url
                                       : "The manifest names no picture and no sound: " + url);
    }
    // Picture alone only when the manifest offers no sound at all.
    if (period.hasAudio && sound == nullptr) {
      throw FetchError("The manifest's sound cannot be read: " + url);
    }
  }
  const std::size_t periods = manifest.Periods().size();
  const bool allPictures = pictures.size() == periods;
  const bool allSounds = sounds.size() == periods;
  if ((!pictures.empty() && !allPictures) || (!sounds.empty() && !allSounds)) {
    throw FetchError(
        "The manifest's periods do not all offer the same picture and sound, so they cannot be "
        "joined: " +
        url);
  }
  DashTracks tracks;
  if (pictures.empty()) {
    tracks.picture = WriteTrack(sounds, url);
    return tracks;
  }
  tracks.picture = WriteTrack(pictures, url);
  if (!sounds.empty()) tracks.sound = WriteTrack(sounds, url);
  return tracks;
}

}  // namespace tarnfetch
