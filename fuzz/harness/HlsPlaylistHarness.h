#pragma once
// tarnfetch's reading of an HLS playlist from an untrusted server. The input
// is the playlist. Whatever it accepts must be safe to fetch and to index:
// http or https addresses only, spans inside the text, indexes inside their
// lists, finite durations.

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "core/FetchError.h"
#include "download/HlsPlaylist.h"

namespace fuzz {

// An http or https address, the scheme in any case (libcurl, which reads it
// the same way, also takes "https:/host").
inline bool IsWebAddress(const std::string& url) {
  const auto colon = url.find(':');
  if (colon == std::string::npos) return false;
  std::string scheme = url.substr(0, colon);
  for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return scheme == "http" || scheme == "https";
}

inline void CheckSpan(tarnfetch::TextSpan span, std::size_t textSize) {
  FUZZ_CHECK(std::uint64_t{span.offset} + span.length <= textSize);
}

inline void RunHlsPlaylist(std::string_view data) {
  const std::string url = "https://media.example.test/show/7/index.m3u8?token=a";
  try {
    const tarnfetch::HlsPlaylist list{std::string(data), url};
    if (list.IsMaster()) {
      const tarnfetch::HlsVariant& best = list.Best();
      FUZZ_CHECK(IsWebAddress(best.url));
      if (const auto sound = list.SeparateAudio(best)) {
        FUZZ_CHECK(IsWebAddress(sound->url));
        FUZZ_CHECK(sound->group == best.audioGroup);
      }
      return;
    }
    const auto& segments = list.Segments();
    FUZZ_CHECK(!segments.empty() && segments.size() <= tarnfetch::kMaxSegments);
    for (const tarnfetch::HlsSegment& segment : segments) {
      CheckSpan(segment.uri, data.size());
      FUZZ_CHECK(IsWebAddress(list.Resolve(segment.uri)));
      FUZZ_CHECK(segment.key >= -1 && segment.key < static_cast<std::int64_t>(list.Keys().size()));
      FUZZ_CHECK(segment.map >= -1 && segment.map < static_cast<std::int64_t>(list.Maps().size()));
      FUZZ_CHECK(std::isfinite(segment.duration) && segment.duration >= 0);
      // A range names its first and last byte: never empty, never past 64 bits.
      if (segment.hasRange)
        FUZZ_CHECK(segment.length > 0 && segment.offset <= UINT64_MAX - segment.length);
    }
    for (const tarnfetch::HlsKey& key : list.Keys()) {
      CheckSpan(key.uri, data.size());
      FUZZ_CHECK(IsWebAddress(list.Resolve(key.uri)));
    }
    for (const tarnfetch::HlsMap& map : list.Maps()) {
      CheckSpan(map.uri, data.size());
      if (map.hasRange) FUZZ_CHECK(map.length > 0 && map.offset <= UINT64_MAX - map.length);
      FUZZ_CHECK(IsWebAddress(list.Resolve(map.uri)));
    }
    FUZZ_CHECK(std::isfinite(list.TotalDuration()) && list.TotalDuration() >= 0);
    // A resumed run compares fingerprints: the same text gives the same one.
    FUZZ_CHECK(tarnfetch::HlsPlaylist(std::string(data), url).Fingerprint() == list.Fingerprint());
  } catch (const tarnfetch::FetchError&) {
    // Refused with a reason: what a hostile playlist should get.
  }
}

}  // namespace fuzz
