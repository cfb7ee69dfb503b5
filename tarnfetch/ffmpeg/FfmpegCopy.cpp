#include "ffmpeg/FfmpegCopy.h"

#include <sys/stat.h>

#include "core/ChildProgram.h"
#include "core/FetchError.h"
#include "ffmpeg/InputFormat.h"

namespace tarnfetch {
namespace {

// What is kept of ffmpeg's messages for the error line.
constexpr std::size_t kMessageBytes = 2048;

// The last line ffmpeg printed, cut to fit a message.
std::string LastLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  const std::size_t lastBreak = text.find_last_of('\n');
  text = text.substr(lastBreak == std::string::npos ? 0 : lastBreak + 1);
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < ' ') c = ' ';
  }
  return text;
}

std::uint64_t SizeOf(int fd) {
  struct stat info {};
  return fstat(fd, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

}  // namespace

std::chrono::milliseconds FfmpegTimeLimit(std::uint64_t inputBytes) {
  return std::chrono::seconds(60) + std::chrono::seconds(inputBytes / 10'000'000);
}

void RunFfmpegCopy(const std::string& ffmpeg, const FfmpegCopy& copy) {
  const std::string failed = "ffmpeg could not " + copy.what;
  ChildRun run;
  run.args = {ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
  for (std::size_t i = 0; i < copy.inputs.size(); ++i) {
    const std::string format = FfmpegInputFormat(copy.inputs[i]);
    if (format.empty()) {
      throw FetchError(failed + ": what was downloaded is not a video or sound file it may read.");
    }
    // Told, never guessed, so that no playlist or file list is read; and
    // no protocol but files, so that nothing is fetched.
    run.args.insert(run.args.end(), {"-f", format, "-protocol_whitelist", "file", "-i",
                                     "file:/dev/fd/" + std::to_string(3 + i)});
  }
  run.args.insert(run.args.end(), copy.options.begin(), copy.options.end());
  run.args.insert(run.args.end(),
                  {"-f", copy.muxer, "file:/dev/fd/" + std::to_string(3 + copy.inputs.size())});
  run.passFds = copy.inputs;
  run.passFds.push_back(copy.output);
  run.keepErrors = kMessageBytes;
  run.timeLimit = copy.timeLimit;
  const ChildResult result = RunChild(run);

  if (result.timedOut) {
    throw FetchError(failed + " (it did not end within " +
                     std::to_string(copy.timeLimit.count() / 1000) + " seconds and was stopped).");
  }
  if (!result.Succeeded() || SizeOf(copy.output) == 0) {
    std::string why = LastLine(result.errors);
    if (why.empty()) why = result.EndText();
    throw FetchError(failed + " (" + why + ").");
  }
}

}  // namespace tarnfetch
