#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "download/MediaPlan.h"

namespace tarnfetch {

// One format the site extractor chose: where it is and how to ask for it.
struct ExtractedFormat {
  std::string url;         // http or https
  std::string protocol;    // "https", "m3u8_native" ...
  std::string extension;   // "mp4", "webm" ...
  std::string videoCodec;  // "avc1.64001F", "none" ...
  std::string audioCodec;
  std::vector<std::string> headers;  // "Name: value", none with a line break
  // The address the headers came with: their Cookie and Authorization go
  // to its origin only. The format's own address, or its manifest's when
  // its pieces lie elsewhere.
  std::string headersOrigin;
  std::optional<std::uint64_t> size;
  // A DASH format's pieces as a media playlist, its addresses absolute;
  // empty for the others, and for a DASH format given by its manifest only.
  std::string playlist;

  bool IsDash() const { return protocol == "http_dash_segments"; }
  bool IsStream() const { return protocol == "m3u8" || protocol == "m3u8_native" || IsDash(); }
};

// What the extractor says about a page's video: its title and the format
// to fetch, or a video format and an audio format to fetch and join; or,
// for a list of videos, the list alone.
struct ExtractorAnswer {
  std::string title;
  std::vector<ExtractedFormat> formats;  // one, or video then audio
  std::optional<VideoList> list;
};

// Reads the extractor's JSON (yt-dlp -J) as it goes, keeping only the keys
// used: time linear in its size, nesting and each value's length limited.
// A playlist of one full entry is that entry; any other playlist is a list. Headers that would
// change the encoding are left out; an extension is kept only when it is a media one. Throws
// FetchError when the answer cannot be used: not JSON, too deep, a list of several videos, no
// address, an address that is not http(s), a header with a line break, a protocol tarnfetch cannot
// fetch, a list without entries.
ExtractorAnswer ReadExtractorAnswer(std::string_view json);
// The same from a file, read until the deadline.
ExtractorAnswer ReadExtractorAnswer(std::FILE* file,
                                    std::chrono::steady_clock::time_point deadline);

}  // namespace tarnfetch
