#include "FfmpegRemux.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FetchError.h"

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

std::string FindFfmpeg() {
  const std::string besideUs = OwnFolder() + "/ffmpeg";
  if (IsProgram(besideUs)) return besideUs;
  const char* path = std::getenv("PATH");
  std::string list = path != nullptr ? path : "";
  for (std::size_t start = 0; start <= list.size();) {
    const std::size_t end = std::min(list.find(':', start), list.size());
    const std::string folder = list.substr(start, end - start);
    if (!folder.empty() && folder.front() == '/' && IsProgram(folder + "/ffmpeg")) {
      return folder + "/ffmpeg";
    }
    start = end + 1;
  }
  return {};
}

void RemuxToMp4(const std::string& ffmpeg, int inputFd, int outputFd) {
  // Copies above the numbers the child uses, so that dup2 always applies.
  FdCloser input{fcntl(inputFd, F_DUPFD_CLOEXEC, 10)};
  FdCloser output{fcntl(outputFd, F_DUPFD_CLOEXEC, 10)};
  int pipeFds[2] = {-1, -1};
  if (input.fd < 0 || output.fd < 0 || pipe2(pipeFds, O_CLOEXEC) != 0) {
    throw FetchError(std::string("Could not prepare ffmpeg: ") + std::strerror(errno) + ".");
  }
  FdCloser readEnd{pipeFds[0]};
  FdCloser writeEnd{pipeFds[1]};

  std::vector<std::string> args{
      ffmpeg, "-nostdin",       "-hide_banner", "-loglevel", "error",         "-y",
      "-i",   "file:/dev/fd/3", "-map",         "0:v?",      "-map",          "0:a?",
      "-c",   "copy",           "-f",           "mp4",       "file:/dev/fd/4"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.fd, 2);
  posix_spawn_file_actions_adddup2(&actions, input.fd, 3);
  posix_spawn_file_actions_adddup2(&actions, output.fd, 4);
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
    throw FetchError("ffmpeg could not join the stream into an MP4 file (" + why + ").");
  }
}

}  // namespace tarnfetch
