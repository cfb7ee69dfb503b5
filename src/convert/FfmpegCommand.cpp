#include "convert/FfmpegCommand.h"

namespace quillmarsh {

namespace {
void AppendWords(std::vector<std::string>& argv, const std::string& text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find(' ', pos);
    const std::size_t stop = end == std::string::npos ? text.size() : end;
    if (stop > pos) argv.push_back(text.substr(pos, stop - pos));
    pos = stop + 1;
  }
}

}  // namespace

std::string FfmpegFileArgument(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  return "file:" + path;
}

FfmpegCommand BuildFfmpegCommand(const std::string& ffmpegPath, const std::string& input,
                                 const std::string& options, const std::string& ext) {
  FfmpegCommand cmd;
  cmd.outputFile = input + ext;
  cmd.text = "ffmpeg -i \"" + input + "\" -y " + options + "-threads 0 \"" + input + "\"" + ext;
  cmd.argv = {ffmpegPath, "-i", FfmpegFileArgument(input), "-y"};
  AppendWords(cmd.argv, options);
  cmd.argv.insert(cmd.argv.end(), {"-threads", "0"});
  return cmd;
}

}  // namespace quillmarsh
