#pragma once
// Media for the tests, made by the real ffmpeg, and the real ffprobe's view
// of a file.

#include <string>
#include <utility>
#include <vector>

namespace quillmarsh {

inline const std::string kFfmpeg = "/usr/bin/ffmpeg";

// A clip: a 64x48 test picture at 10 frames a second with a key frame each
// second (H.264) and a 440 Hz tone (AAC), `seconds` long.
struct ClipKind {
  bool picture = true;
  bool sound = true;
  int seconds = 2;
};

// Runs ffmpeg with `args`; false, and a test failure with its words, when
// it fails.
bool RunFfmpeg(const std::vector<std::string>& args);
// Makes the clip into `output` (ffmpeg's output options and file names).
bool MakeClip(const ClipKind& clip, const std::vector<std::string>& output);

// ffmpeg's output options for an HLS stream (video on demand) in `folder`:
// `name`.m3u8 and segments of `seconds` named by `segments` ("%d" numbers).
std::vector<std::string> HlsOutput(const std::string& folder, const std::string& name, int seconds,
                                   const std::string& segments);

// A playlist's text and each segment's name and bytes (files beside it).
struct HlsFiles {
  std::string playlist;
  std::vector<std::pair<std::string, std::string>> segments;
};
HlsFiles ReadHls(const std::string& playlistFile);

// What ffprobe reports of `file` for -show_entries `entries`, as CSV lines
// without names; `countFrames` counts each stream's frames.
std::string Ffprobe(const std::string& file, const std::string& entries, bool countFrames = false);

}  // namespace quillmarsh
