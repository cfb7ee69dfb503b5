#include "extractor/SiteExtractor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "core/FetchError.h"
#include "ffmpeg/FfmpegRemux.h"

extern char** environ;

namespace tarnfetch {
namespace {

// What is kept of the extractor's messages for the error line.
constexpr std::size_t kMessageBytes = 4096;

struct Pipe {
  int read = -1;
  int write = -1;
  Pipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) == 0) {
      read = fds[0];
      write = fds[1];
    }
  }
  ~Pipe() {
    if (read >= 0) close(read);
    if (write >= 0) close(write);
  }
  void CloseWrite() {
    close(write);
    write = -1;
  }
};

// Its own message: the last line that says "ERROR:", else its last line.
std::string ExtractorMessage(const std::string& errors) {
  std::string last;
  std::string lastError;
  std::size_t start = 0;
  while (start < errors.size()) {
    std::size_t end = errors.find('\n', start);
    if (end == std::string::npos) end = errors.size();
    std::string line = errors.substr(start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty()) last = line;
    if (line.rfind("ERROR: ", 0) == 0) lastError = line.substr(7);
    start = end + 1;
  }
  return lastError.empty() ? last : lastError;
}

}  // namespace

std::string FindSiteExtractor() {
  return FindProgram("yt-dlp");
}

std::string AskSiteExtractor(const std::string& program, const std::string& url) {
  Pipe out;
  Pipe err;
  if (out.read < 0 || err.read < 0) {
    throw FetchError(std::string("Could not prepare the site extractor: ") + std::strerror(errno) +
                     ".");
  }
  std::vector<std::string> args{
      program, "--no-config", "--no-playlist", "--no-warnings", "-J", "--", url};
  std::vector<char*> argv = ArgumentVector(args);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out.write, 1);
  posix_spawn_file_actions_adddup2(&actions, err.write, 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Its own group, so that ending it also ends whatever it started.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = 0;
  const int spawned =
      posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  out.CloseWrite();
  err.CloseWrite();
  if (spawned != 0) {
    throw FetchError("Could not start the site extractor " + program + ": " +
                     std::strerror(spawned) + ".");
  }

  std::string answer;
  std::string errors;
  std::string problem;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(SiteExtractor::kSeconds);
  bool outOpen = true;
  bool errOpen = true;
  char buffer[65536];
  while ((outOpen || errOpen) && problem.empty()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      problem = "The site extractor did not answer within " +
                std::to_string(SiteExtractor::kSeconds) + " seconds.";
      break;
    }
    pollfd fds[2] = {{outOpen ? out.read : -1, POLLIN, 0}, {errOpen ? err.read : -1, POLLIN, 0}};
    if (poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got <= 0) {
        (i == 0 ? outOpen : errOpen) = false;
        continue;
      }
      std::string& text = i == 0 ? answer : errors;
      text.append(buffer, static_cast<std::size_t>(got));
      if (i == 1 && errors.size() > 2 * kMessageBytes) {
        errors.erase(0, errors.size() - kMessageBytes);
      }
      if (i == 0 && answer.size() > SiteExtractor::kMaxAnswerBytes) {
        problem = "The site extractor's answer is larger than " +
                  std::to_string(SiteExtractor::kMaxAnswerBytes >> 20) + " MiB.";
      }
    }
  }
  if (!problem.empty()) {
    kill(-pid, SIGKILL);
    answer.clear();
    answer.shrink_to_fit();
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!problem.empty()) throw FetchError(problem);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::string message = ExtractorMessage(errors);
    if (message.empty()) {
      message = WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                  : std::string("it was ended by a signal");
    }
    throw FetchError("The site extractor could not find the video: " + message);
  }
  return answer;
}

}  // namespace tarnfetch
