#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/FetchOptions.h"
#include "http/StreamHeaders.h"

namespace tarnfetch {

// An HLS stream to download: its playlist's address, the extra HTTP
// headers every request of it needs (a site extractor may give some,
// "Name: value") and the page that named it (for the Referer), and the
// playlist's text when it was already read.
struct StreamSource {
  std::string url;
  StreamHeaders headers;
  std::optional<std::string> playlist;
};

// Downloads the stream into one file named from the title by the options'
// output template: the best variant of a master playlist, every segment in order,
// then, when ffmpeg is found, copied into an ".mp4" without re-encoding
// (else the joined ".ts"; fragmented MP4 stays ".mp4"). When the variant's
// sound is a playlist of its own, both are fetched at once and ffmpeg
// joins them into an ".mp4" (".mkv" when the codecs do not fit); without
// ffmpeg that is an error, as the picture alone is not the video. Prints the
// filename or skip marker and the progress; the caller has printed the
// title. Throws FetchError; a killed or failed run leaves its ".part" and
// control file, and the next run continues after the last segment written.
void DownloadStream(const StreamSource& source, const std::string& title,
                    const FetchOptions& options);

// The same for a picture and a sound that come as streams of their own
// (a site extractor's two formats), each with its own headers: fetched at
// once and joined by ffmpeg into an ".mp4", or an ".mkv" unless mp4. A
// master playlist stands for its best variant.
void DownloadStreamPair(const StreamSource& picture, const StreamSource& sound, bool mp4,
                        const std::string& title, const FetchOptions& options);

}  // namespace tarnfetch
