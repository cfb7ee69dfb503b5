#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/FetchOptions.h"
#include "http/StreamHeaders.h"
#include "http/Validators.h"

namespace tarnfetch {

// One address of a plan and how to ask for it.
struct PlannedSource {
  // File: a whole file; Stream: an HLS playlist or a DASH manifest; Unknown:
  // a file unless the first look at it shows a stream.
  enum class Kind { File, Stream, Unknown };
  Kind kind = Kind::Unknown;
  std::string url;
  // Extra headers (a site extractor's), the page that named it (for the
  // Referer) and the origin the headers' credentials belong to.
  StreamHeaders headers;
  // The first look at a file, when finding it took one.
  bool looked = false;
  Validators validators;
  std::string contentType;
  // What the finder knows before any look: the playlist's text (a DASH
  // format's pieces), a DASH format given by its manifest only, the
  // extension, the size, the codecs ("none" for a missing track).
  std::optional<std::string> playlist;
  bool manifestOnly = false;
  std::string extension;
  std::optional<std::uint64_t> size;
  std::string videoCodec;
  std::string audioCodec;
};

// A page that is a list of videos (a playlist, a channel, an album), as
// the extractor lists it flat: each video's page and title.
struct ListedVideo {
  std::string url;  // http or https
  std::string title;
};
struct VideoList {
  std::vector<ListedVideo> videos;  // at most quillmarsh::kMaxListEntries
  std::size_t skipped = 0;          // entries without an http(s) page
  bool cut = false;                 // the list went on beyond the limit
};

// What finding a video settled, handed to fetching it, so that the finder
// (the page search, the site extractor) knows nothing of files and the
// fetcher nothing of pages: the title and one source, or a picture and a
// sound to be joined; or a list of videos, which fetches nothing.
struct MediaPlan {
  std::string title;
  std::vector<PlannedSource> sources;
  std::optional<VideoList> list;
};

// The one place a plan is fetched: prints the title, names the file from
// the options' output template and downloads it (a file, a stream, or
// picture and sound joined by ffmpeg into an MP4, an MKV when the codecs
// do not fit), printing the filename or skip marker and the progress. A
// list is printed for Quillmarsh, which adds each video as a mission.
// Throws FetchError.
void FetchPlan(const MediaPlan& plan, const FetchOptions& options);

}  // namespace tarnfetch
