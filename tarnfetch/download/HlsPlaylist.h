#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnfetch {

// Playlists larger than this, or with more segments, are refused: a hostile
// one must not exhaust memory.
constexpr std::size_t kMaxPlaylistBytes = 8u << 20;
constexpr std::size_t kMaxSegments = 100000;

// A piece of the playlist's text (an address as written, maybe relative).
// Segments keep these instead of strings, so that 100,000 of them stay small.
struct TextSpan {
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
};

struct HlsVariant {
  std::string url;  // absolute
  std::uint64_t bandwidth = 0;
  std::uint64_t pixels = 0;  // width times height, 0 when not given
  std::string audioGroup;    // GROUP-ID of its sound renditions, empty: none
  std::string codecs;        // as written: "avc1.64001f,mp4a.40.2"
};

// An EXT-X-MEDIA with TYPE=AUDIO: one sound for the variants of its group.
struct HlsAudio {
  std::string group;
  std::string url;  // absolute; empty: the sound is inside the variants
  bool isDefault = false;
  bool autoselect = false;
};

// An EXT-X-KEY with METHOD=AES-128.
struct HlsKey {
  TextSpan uri;
  bool hasIv = false;
  std::array<unsigned char, 16> iv{};
};

// An EXT-X-MAP initialisation section (fragmented MP4).
struct HlsMap {
  TextSpan uri;
  bool hasRange = false;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

struct HlsSegment {
  TextSpan uri;
  bool hasRange = false;
  bool discontinuity = false;
  std::int32_t key = -1;  // index into Keys(), -1: not encrypted
  std::int32_t map = -1;  // index into Maps(), -1: none
  double duration = 0;    // seconds, 0 when not given
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  std::uint64_t sequence = 0;  // media sequence number: the default IV
};

// An HLS playlist: a master playlist lists variants, a media playlist the
// segments of one. Every address in it is checked to be http or https.
class HlsPlaylist {
 public:
  // Throws FetchError for what cannot be downloaded: not a playlist, too
  // large, a live stream, DRM (SAMPLE-AES, a KEYFORMAT), other addresses.
  HlsPlaylist(std::string text, std::string url);

  bool IsMaster() const { return !variants_.empty(); }
  // The variant with the highest bandwidth; ties go to the larger picture.
  const HlsVariant& Best() const;
  // The sound that goes with a variant when it lies in a playlist of its
  // own: the group's DEFAULT rendition, else its AUTOSELECT one, else its
  // first. Nothing when the sound is inside the variant.
  std::optional<HlsAudio> SeparateAudio(const HlsVariant& variant) const;

  const std::string& Url() const { return url_; }
  const std::vector<HlsSegment>& Segments() const { return segments_; }
  const std::vector<HlsKey>& Keys() const { return keys_; }
  const std::vector<HlsMap>& Maps() const { return maps_; }
  double TotalDuration() const { return totalDuration_; }

  // The absolute address of a span (segments, keys, maps).
  std::string Resolve(TextSpan uri) const;
  // Stays the same for the same list of segments, also when their
  // addresses carry new tokens: a resumed run checks it.
  std::string Fingerprint() const;

 private:
  void ParseLine(std::string_view line, std::size_t at);
  void AddSegment(TextSpan uri);
  TextSpan CheckedUri(std::string_view value, std::size_t at) const;

  std::string text_;
  std::string url_;
  std::vector<HlsVariant> variants_;
  std::vector<HlsAudio> audio_;
  std::vector<HlsSegment> segments_;
  std::vector<HlsKey> keys_;
  std::vector<HlsMap> maps_;
  double totalDuration_ = 0;
  bool ended_ = false;

  // Tags that apply to the next segment or variant line.
  HlsSegment pending_;
  bool pendingVariant_ = false;
  HlsVariant variant_;
  std::uint64_t sequence_ = 0;
  std::int32_t key_ = -1;
  std::int32_t map_ = -1;
  std::optional<std::uint64_t> rangeEnd_;  // where a BYTERANGE without "@" begins
};

}  // namespace tarnfetch
