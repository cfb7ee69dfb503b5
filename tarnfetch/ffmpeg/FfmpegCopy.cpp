#include "ffmpeg/FfmpegCopy.h"

#include <array>
#include <string_view>

#include "core/ChildProgram.h"
#include "core/FetchError.h"
#include "ffmpeg/InputFormat.h"
#include "ffmpeg/WholeMedia.h"

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

// The first line of ffmpeg's that tells of a failure it may still end
// with status 0 after (a trailer it could not write to a full disk).
std::string FailureLine(const std::string& errors) {
  static constexpr std::array<std::string_view, 4> kWords{
      "No space left on device", "Error writing trailer", "Error closing file",
      "Conversion failed!"};
  for (const std::string_view word : kWords) {
    const std::size_t at = errors.find(word);
    if (at == std::string::npos) continue;
    const std::size_t before = errors.rfind('\n', at);
    const std::size_t begin = before == std::string::npos ? 0 : before + 1;
    const std::size_t end = errors.find('\n', at);
    return LastLine(errors.substr(begin, end == std::string::npos ? end : end - begin));
  }
  return {};
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
  std::string why = FailureLine(result.errors);
  if (why.empty() && !result.Succeeded()) why = LastLine(result.errors);
  if (why.empty() && !result.Succeeded()) why = result.EndText();
  if (why.empty() && !IsWholeMediaFile(copy.output, copy.muxer)) {
    why = "the file it wrote is cut short";
  }
  if (!why.empty()) throw FetchError(failed + " (" + why + ").");
}

}  // namespace tarnfetch
