// Shared by the tarnfetch tests: a loopback HTTP server in a thread, the
// real tarnfetch binary run as a child process, and checks on its output.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

#include "support/LoopbackServer.h"
#include "support/TempDir.h"

namespace tarnfetch_test {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class TempFolder {
 public:
  fs::path Path() const { return dir_.path(); }

 private:
  TempDir dir_;
};

inline const std::string kTarnfetch = QM_APP_DIR "/tarnfetch";

struct RunResult {
  int exitCode = -1;  // -1: killed or did not end
  std::vector<std::string> lines;

  std::vector<std::string> Starting(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const auto& line : lines) {
      if (line.rfind(prefix, 0) == 0) found.push_back(line);
    }
    return found;
  }
  std::string Text() const {
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    return text;
  }
};

// Runs tarnfetch with stdout and stderr on one pipe, as Quillmarsh does.
// A run that takes longer than 20 s is killed and reported with -1.
inline RunResult RunTarnfetch(const std::vector<std::string>& args) {
  // The loopback server must be reached directly, whatever the machine uses.
  for (const char* name :
       {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
    unsetenv(name);
  }
  RunResult result;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  std::vector<char*> argv{const_cast<char*>(kTarnfetch.c_str())};
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned =
      posix_spawn(&pid, kTarnfetch.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    close(fds[0]);
    ADD_FAILURE() << "cannot start " << kTarnfetch << " (build the tarnfetch target)";
    return result;
  }
  std::string output;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool killed = false;
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(pid, SIGKILL);
      killed = true;
      break;
    }
    pollfd waitFor{fds[0], POLLIN, 0};
    if (poll(&waitFor, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[4096];
    const ssize_t got = read(fds[0], buffer, sizeof buffer);
    if (got <= 0) break;
    output.append(buffer, static_cast<std::size_t>(got));
  }
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!killed && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  std::istringstream stream(output);
  for (std::string line; std::getline(stream, line);) result.lines.push_back(line);
  return result;
}

inline std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (auto& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

// Every file below root, relative to it.
inline std::vector<std::string> FilesBelow(const fs::path& root) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_directory()) files.push_back(entry.path().lexically_relative(root).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

inline std::string Lower(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The rules Quillmarsh relies on: one marker a line, progress figures that
// hold none of its cut words, and "error"/"Traceback" only on ERROR lines
// (outside the values of the title, filename and skip tags).
inline void ExpectWellFormedOutput(const RunResult& run) {
  static const std::regex marker(
      R"(<Go>|<title>[^<]*</title>|<filename>[^<]*</filename>|<skip>[^<]*</skip>|)"
      R"(<speed> (\d+\.\d)% of (\S+) at (\S+) ETA (\S+)</speed>|ERROR: .+)");
  static const std::regex tagValue(R"(<(title|filename|skip)>[^<]*</\1>)");
  for (const auto& line : run.lines) {
    std::smatch parts;
    EXPECT_TRUE(std::regex_match(line, parts, marker)) << "stray line: " << line;
    for (std::size_t i = 2; i <= 4 && parts.size() > 4 && parts[i].matched; ++i) {
      for (const char* word : {"of", "at", "ETA", "%"}) {
        EXPECT_EQ(parts[i].str().find(word), std::string::npos) << line;
      }
    }
    if (line.rfind("ERROR: ", 0) == 0) continue;
    const std::string rest = Lower(std::regex_replace(line, tagValue, ""));
    EXPECT_EQ(rest.find("error"), std::string::npos) << line;
    EXPECT_EQ(rest.find("traceback"), std::string::npos) << line;
  }
}

// A failed run: exactly one ERROR line, a non-zero status, and nothing in
// the folder under a final name (an unfinished ".part" may stay).
inline void ExpectFailure(const RunResult& run, const fs::path& folder) {
  EXPECT_NE(run.exitCode, 0) << run.Text();
  EXPECT_NE(run.exitCode, -1) << "did not end in time";
  EXPECT_EQ(run.Starting("ERROR: ").size(), 1u) << run.Text();
  EXPECT_EQ(run.Text().find("100.0%"), std::string::npos) << run.Text();
  ExpectWellFormedOutput(run);
  if (fs::exists(folder)) {
    for (const auto& name : FilesBelow(folder)) {
      EXPECT_TRUE(name.size() > 5 && name.substr(name.size() - 5) == ".part") << name;
    }
  }
}

}  // namespace tarnfetch_test
