#include "ffmpeg/FfmpegRemux.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/FetchError.h"

extern char** environ;

namespace tarnfetch {
namespace {

// What is kept of ffmpeg's messages for the error line.
constexpr std::size_t kMessageBytes = 2048;

bool IsProgram(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string OwnFolder() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  const std::string self(path, static_cast<std::size_t>(length));
  return self.substr(0, self.rfind('/'));
}

// The last line ffmpeg printed, cut to fit a message.
std::string LastLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  text =
      text.substr(text.find_last_of('\n') == std::string::npos ? 0 : text.find_last_of('\n') + 1);
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < ' ') c = ' ';
  }
  return text;
}

struct FdCloser {
  int fd = -1;
  ~FdCloser() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

std::string FindProgram(const std::string& name) {
  const std::string besideUs = OwnFolder() + "/" + name;
  if (IsProgram(besideUs)) return besideUs;
  const char* path = std::getenv("PATH");
  std::string list = path != nullptr ? path : "";
  for (std::size_t start = 0; start <= list.size();) {
    const std::size_t end = std::min(list.find(':', start), list.size());
    const std::string folder = list.substr(start, end - start);
    if (!folder.empty() && folder.front() == '/' && IsProgram(folder + "/" + name)) {
      return folder + "/" + name;
    }
    start = end + 1;
  }
  return {};
}

std::vector<char*> ArgumentVector(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return argv;
}

std::string FindFfmpeg() {
  return FindProgram("ffmpeg");
}

namespace {

// Runs ffmpeg with `inputs` as /dev/fd/3, /dev/fd/4 ... and outputFd as
// the one after them; `what` names the job in the error message.
void RunFfmpeg(const std::string& ffmpeg, const std::vector<int>& inputs, int outputFd,
               const std::vector<std::string>& options, const std::string& what) {
  // Copies above the numbers the child uses, so that dup2 always applies.
  std::vector<FdCloser> files(inputs.size() + 1);
  for (std::size_t i = 0; i <= inputs.size(); ++i) {
    files[i].fd = fcntl(i < inputs.size() ? inputs[i] : outputFd, F_DUPFD_CLOEXEC, 10);
  }
  int pipeFds[2] = {-1, -1};
  const bool copied =
      std::all_of(files.begin(), files.end(), [](const FdCloser& file) { return file.fd >= 0; });
  if (!copied || pipe2(pipeFds, O_CLOEXEC) != 0) {
    throw FetchError(std::string("Could not prepare ffmpeg: ") + std::strerror(errno) + ".");
  }
  FdCloser readEnd{pipeFds[0]};
  FdCloser writeEnd{pipeFds[1]};

  std::vector<std::string> args{ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    args.push_back("-i");
    args.push_back("file:/dev/fd/" + std::to_string(3 + i));
  }
  args.insert(args.end(), options.begin(), options.end());
  args.push_back("file:/dev/fd/" + std::to_string(3 + inputs.size()));
  std::vector<char*> argv = ArgumentVector(args);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.fd, 2);
  for (std::size_t i = 0; i < files.size(); ++i) {
    posix_spawn_file_actions_adddup2(&actions, files[i].fd, static_cast<int>(3 + i));
  }
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, ffmpeg.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(writeEnd.fd);
  writeEnd.fd = -1;
  if (spawned != 0) {
    throw FetchError("Could not start " + ffmpeg + ": " + std::strerror(spawned) + ".");
  }

  std::string messages;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(readEnd.fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    messages.append(buffer, static_cast<std::size_t>(got));
    if (messages.size() > 2 * kMessageBytes) messages.erase(0, messages.size() - kMessageBytes);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  struct stat written {};
  const bool wroteSomething = fstat(outputFd, &written) == 0 && written.st_size > 0;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !wroteSomething) {
    std::string why = LastLine(messages);
    if (why.empty()) {
      why = WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                              : std::string("it was ended by a signal");
    }
    throw FetchError("ffmpeg could not " + what + " (" + why + ").");
  }
}

}  // namespace

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
