#pragma once
// The ffmpeg command of one conversion: the text the report shows and the
// argument vector the child really gets. Plain C++.

#include <cstdint>
#include <string>
#include <vector>

namespace quillmarsh {

struct FfmpegCommand {
  std::string text;               // ffmpeg -i "f" -y <options>-threads 0 "f"ext
  std::vector<std::string> argv;  // never re-split from `text`
  std::string outputFile;         // f + ext: the extension is appended, not replaced
  // What ffmpeg really writes, beside the output file: renamed to it once
  // the conversion succeeded, so that a failure leaves nothing under its name.
  std::string temporaryFile;
};

// `input` is the downloaded file, `options` the format's option text followed
// by the preset's (blank-separated), `ext` the output extension with its dot.
// `worker` numbers the temporary file, so that a stopped conversion that is
// still ending never touches the file of the one that replaced it.
FfmpegCommand BuildFfmpegCommand(const std::string& ffmpegPath, const std::string& input,
                                 const std::string& options, const std::string& ext,
                                 std::uint64_t worker = 0);

// A path as ffmpeg must get it: one that does not begin with "/" gets the
// "file:" prefix, so that "-x.mp3" or "concat:a|b" is read as a plain file.
std::string FfmpegFileArgument(const std::string& path);

}  // namespace quillmarsh
