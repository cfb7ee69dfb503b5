#pragma once

#include <string>
#include <string_view>

namespace tarnfetch {

// The ffmpeg demuxer for a downloaded file, from its first bytes: "mpegts",
// "mp4", "matroska" (also WebM), "ogg", "aac" (ADTS) or "mp3"; empty for
// anything else. ffmpeg is always told the format, as its own guess would
// also take a playlist or a list of files that names local files to read.
std::string FfmpegInputFormat(std::string_view head);

// The same for the file open at fd, read from its start.
std::string FfmpegInputFormat(int fd);

}  // namespace tarnfetch
