#include "ffmpeg/FfmpegRemux.h"

#include <sys/stat.h>

#include "core/ChildProgram.h"
#include "core/FetchError.h"
#include "ffmpeg/InputFormat.h"

namespace tarnfetch {
namespace {

// What is kept of ffmpeg's messages for the error line.
constexpr std::size_t kMessageBytes = 2048;
// A remux or join copies without re-encoding: even hours of video take
// minutes, so this limit only ends a run that hangs.
constexpr auto kTimeLimit = std::chrono::hours(2);

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

// Runs ffmpeg with `inputs` as /dev/fd/3, /dev/fd/4 ... and outputFd as
// the one after them; `what` names the job in the error message.
void RunFfmpeg(const std::string& ffmpeg, const std::vector<int>& inputs, int outputFd,
               const std::vector<std::string>& options, const std::string& what) {
  ChildRun run;
  run.args = {ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const std::string format = FfmpegInputFormat(inputs[i]);
    if (format.empty()) {
      throw FetchError("ffmpeg could not " + what +
                       ": what was downloaded is not a video or sound file it may read.");
    }
    // Told, never guessed, so that no playlist or file list is read; and
    // no protocol but files, so that nothing is fetched.
    run.args.insert(run.args.end(), {"-f", format, "-protocol_whitelist", "file", "-i",
                                     "file:/dev/fd/" + std::to_string(3 + i)});
  }
  run.args.insert(run.args.end(), options.begin(), options.end());
  run.args.push_back("file:/dev/fd/" + std::to_string(3 + inputs.size()));
  run.passFds = inputs;
  run.passFds.push_back(outputFd);
  run.keepErrors = kMessageBytes;
  run.timeLimit = kTimeLimit;
  const ChildResult result = RunChild(run);

  struct stat written {};
  const bool wroteSomething = fstat(outputFd, &written) == 0 && written.st_size > 0;
  if (!result.Succeeded() || !wroteSomething) {
    std::string why = LastLine(result.errors);
    if (result.timedOut) why = "it did not end in time";
    if (why.empty()) why = result.EndText();
    throw FetchError("ffmpeg could not " + what + " (" + why + ").");
  }
}

}  // namespace

std::string FindFfmpeg() {
  return FindHelperProgram("ffmpeg");
}

void RemuxToMp4(const std::string& ffmpeg, int inputFd, int outputFd) {
  RunFfmpeg(ffmpeg, {inputFd}, outputFd,
            {"-map", "0:v?", "-map", "0:a?", "-c", "copy", "-f", "mp4"},
            "join the stream into an MP4 file");
}

void MergeStreams(const std::string& ffmpeg, int videoFd, int audioFd, int outputFd,
                  const std::string& muxer) {
  RunFfmpeg(ffmpeg, {videoFd, audioFd}, outputFd,
            {"-map", "0:v:0", "-map", "1:a:0", "-c", "copy", "-f", muxer},
            "join the video and its sound into one file");
}

}  // namespace tarnfetch
