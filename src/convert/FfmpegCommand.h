#pragma once
// The ffmpeg command of one conversion: the text the report shows and the
// argument vector the child really gets. Plain C++.

#include <string>
#include <vector>

namespace quillmarsh {

struct FfmpegCommand {
  std::string text;  // ffmpeg -i "f" -y <options>-threads 0 "f"ext
  // Never re-split from `text`. Without the file to write: ffmpeg writes a
  // temporary file beside the output file (added as the last argument),
  // renamed to it once the conversion succeeded, so that a failure leaves
  // nothing under its name.
  std::vector<std::string> argv;
  std::string outputFile;  // f + ext: the extension is appended, not replaced
};

// `input` is the downloaded file, `options` the format's option text followed
// by the preset's (blank-separated), `ext` the output extension with its dot.
FfmpegCommand BuildFfmpegCommand(const std::string& ffmpegPath, const std::string& input,
                                 const std::string& options, const std::string& ext);

// A path as ffmpeg must get it: one that does not begin with "/" gets the
// "file:" prefix, so that "-x.mp3" or "concat:a|b" is read as a plain file.
std::string FfmpegFileArgument(const std::string& path);

}  // namespace quillmarsh
