#include "convert/ConvertOptions.h"

namespace quillmarsh {

namespace {
// The three Apple devices share one option text. Every device format names
// the pixel format its decoders play, 8-bit 4:2:0: without it the encoder
// keeps a 10-bit or 4:4:4 source's (and picks a profile no device plays) or,
// for the baseline profile, refuses it.
constexpr const char* kAppleArgs =
    "-acodec aac -ac 2 -strict experimental -ab 160k -vcodec libx264 -pix_fmt yuv420p "
    "-profile:v baseline -level 30 -maxrate 10000000 -bufsize 10000000 -b 1200k -f mp4 ";
}  // namespace

const std::vector<TFormatOption>& FormatOptions() {
  static const std::vector<TFormatOption> table = {
      {"iPad (.mp4)", kAppleArgs, ".mp4"},
      {"iPod (.mp4)", kAppleArgs, ".mp4"},
      {"iPhone (.mp4)", kAppleArgs, ".mp4"},
      {"PSP (.mp4)", "-s 320x240 -pix_fmt yuv420p -b 512000 -ar 24000 -ab 64000 -f psp -r 29.97 ",
       ".mp4"},
      {"Samsung Galaxy (.mp4)",
       "-acodec aac -ab 160k -vcodec libx264 -pix_fmt yuv420p -profile:v baseline -level 30 "
       "-maxrate 10000000 -bufsize 10000000 -f mp4 ",
       ".mp4"},
      {"Kindle Fire (.mp4)",
       "-acodec aac -ab 96k -vcodec libx264 -pix_fmt yuv420p -f mp4 -crf 22 -strict experimental ",
       ".mp4"},
      {"MP3 Audio(.mp3)", "-f mp3 ", ".mp3"},
      {"Ogg Audio(.ogg)", "-f ogg -vn -acodec libvorbis -aq 60 ", ".ogg"},
  };
  return table;
}

const std::vector<TPriorityOption>& PriorityOptions() {
  static const std::vector<TPriorityOption> table = {
      {"Quality First", "-preset slow "},
      {"Both", "-preset medium "},
      {"Time First", "-preset superfast "},
  };
  return table;
}

ConvertArgs GetConvertArgs(std::string_view format, std::string_view priority) {
  ConvertArgs result;
  for (const TFormatOption& option : FormatOptions()) {
    if (option.name != format) continue;
    result.args = option.args;
    result.ext = option.ext;
    result.found = true;
    break;
  }
  for (const TPriorityOption& option : PriorityOptions()) {
    if (option.name != priority) continue;
    result.args += option.args;
    break;
  }
  return result;
}

std::string ConvertedFileOf(const std::string& downloadedFile, std::string_view format) {
  const ConvertArgs convert = GetConvertArgs(format, "");
  return convert.found && !downloadedFile.empty() ? downloadedFile + convert.ext : std::string();
}

}  // namespace quillmarsh
