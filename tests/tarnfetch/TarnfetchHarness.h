// Shared by the tarnfetch tests: a loopback HTTP server in a thread, the
// real tarnfetch binary run as a child process, and checks on its output.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/ConsoleProcess.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

namespace tarnfetch_test {

using namespace quillmarsh;
namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class TempFolder {
 public:
  fs::path Path() const { return dir_.path(); }

 private:
  TempDir dir_;
};

inline const std::string kTarnfetch = QM_APP_DIR "/tarnfetch";

// tarnfetch keeps its own site extractor in Quillmarsh's data folder and
// may fetch a newer release: the tests' runs get a data folder of their
// own, with updates turned off (a background check would run a stand-in
// extractor while a test reads what it was asked), and a release address
// where nothing answers, unless a test sets its own.
struct TestDataFolder {
  TestDataFolder() {
    setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
    setenv("TARNFETCH_TEST_RELEASE_URL", "http://127.0.0.1:9/", 1);
    std::filesystem::create_directories(dir.path() + "/Quillmarsh");
    std::ofstream(dir.path() + "/Quillmarsh/qlmsh.ini") << "[Config]\r\nUpdateSiteExtractor=0\r\n";
  }
  TempDir dir;
};
inline const TestDataFolder kTestDataFolder;

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

// Runs a program (argv[0] is its path) with stdout and stderr on one pipe,
// through the same console-process class Quillmarsh uses. A run that takes
// longer than 20 s is ended and reported with -1.
inline RunResult RunProgram(const std::vector<std::string>& argv) {
  RunResult result;
  ConsoleProcess child;
  std::string error;
  if (!child.Start(argv, ConsoleProcess::Stdin::Null, &error)) {
    ADD_FAILURE() << "cannot start " << argv[0] << ": " << error;
    return result;
  }
  // Reads wait for output, so the deadline is kept from another thread.
  std::mutex lock;
  std::condition_variable ended;
  bool done = false, killed = false;
  std::thread deadline([&] {
    std::unique_lock guard(lock);
    if (!ended.wait_for(guard, std::chrono::seconds(20), [&] { return done; })) {
      killed = true;
      child.Terminate();
    }
  });
  std::string output;
  for (;;) {
    const auto waited = child.Wait(std::chrono::milliseconds(100));
    const std::string chunk = child.Read(4096);
    output += chunk;
    if (waited == ConsoleProcess::WaitResult::Exited && chunk.empty()) break;
  }
  {
    std::lock_guard guard(lock);
    done = true;
  }
  ended.notify_one();
  deadline.join();
  if (!killed && child.ExitStatus()) result.exitCode = *child.ExitStatus();
  std::istringstream stream(output);
  for (std::string line; std::getline(stream, line);) result.lines.push_back(line);
  return result;
}

// tarnfetch remembers connection counts in the user's cache folder: the
// tests' runs get one of their own.
struct TestCacheFolder {
  TestCacheFolder() { setenv("XDG_CACHE_HOME", dir.path().c_str(), 1); }
  TempDir dir;
};
inline const TestCacheFolder kTestCacheFolder;

// Runs tarnfetch as Quillmarsh does.
inline RunResult RunTarnfetch(const std::vector<std::string>& args) {
  // The loopback server must be reached directly, whatever the machine uses.
  for (const char* name :
       {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
    unsetenv(name);
  }
  std::vector<std::string> argv{kTarnfetch};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv);
}

// Runs tarnfetch on url under time(1), which forks its own child, so that
// the peak it reports is tarnfetch's alone; *peakKb gets it, in KB.
inline RunResult RunTarnfetchMeasured(const std::string& url, const fs::path& folder,
                                      long* peakKb) {
  const fs::path peak = folder / "peak";
  RunResult run = RunProgram({"/usr/bin/time", "-f", "%M", "-o", peak.string(), kTarnfetch, url,
                              "-p", (folder / "out" / "x").string()});
  // The last line: time(1) first reports a non-zero exit status.
  const std::string report = ReadFile(peak);
  *peakKb = std::atol(report.c_str() + report.find_last_of('\n', report.size() - 2) + 1);
  return run;
}

// Starts tarnfetch with args (its output dropped, the environment ours)
// and kills it with SIGKILL once `ready` holds. False when it ended first.
inline bool KillTarnfetchWhen(const std::vector<std::string>& args,
                              const std::function<bool()>& ready) {
  std::vector<std::string> words{kTarnfetch};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int started =
      posix_spawn(&pid, kTarnfetch.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return false;
  // As RunProgram, a run that never gets there is ended after 20 s.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool got = false;
  while (!(got = ready()) && std::chrono::steady_clock::now() < end) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return got;
}

// The finished ranges a control file records (0 when there is none).
inline std::uint64_t RecordedBytes(const fs::path& control) {
  std::error_code missing;
  if (!fs::exists(control, missing)) return 0;
  std::istringstream lines(ReadFile(control));
  std::uint64_t bytes = 0;
  for (std::string kind; lines >> kind;) {
    if (kind == "done") {
      std::uint64_t first = 0, end = 0;
      lines >> first >> end;
      bytes += end - first;
    } else {
      std::string rest;
      std::getline(lines, rest);
    }
  }
  return bytes;
}

inline std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (auto& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

// Bodies for the loopback server's routes. `body` must outlive the answer.
// The first half of body under its full length, then the connection ends.
inline void ServeHalfThenCut(httplib::Response& res, const std::string& body) {
  res.set_content_provider(
      body.size(), "video/mp4",
      [&body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        const std::size_t half = body.size() / 2;
        if (offset >= half) return false;
        sink.write(body.data() + offset, std::min(length, half - offset));
        return true;
      });
}

// body without a length (chunked), and so without Range support.
inline void ServeChunked(httplib::Response& res, const std::string& body,
                         const char* type = "video/mp4") {
  res.set_chunked_content_provider(type, [&body](std::size_t offset, httplib::DataSink& sink) {
    if (offset < body.size()) {
      sink.write(body.data() + offset, std::min<std::size_t>(body.size() - offset, 64 << 10));
    } else {
      sink.done();
    }
    return true;
  });
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
      R"(<speed> (\d+\.\d)% of (\S+) at (\S+) ETA (\S+)</speed>|ERROR: .+|)"
      R"(<connections>\d+</connections>|<try-later>|)"
      R"(<list-entry>\S+ [^<]*</list-entry>|<list>\d+ \d+ [01]</list>)");
  static const std::regex tagValue(R"(<(title|filename|skip|list-entry)>[^<]*</\1>)");
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

inline bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A failed run: exactly one ERROR line, a non-zero status, and nothing in
// the folder under a final name (an unfinished ".part" and its control
// file may stay).
inline void ExpectFailure(const RunResult& run, const fs::path& folder) {
  EXPECT_NE(run.exitCode, 0) << run.Text();
  EXPECT_NE(run.exitCode, -1) << "did not end in time";
  EXPECT_EQ(run.Starting("ERROR: ").size(), 1u) << run.Text();
  EXPECT_EQ(run.Text().find("100.0%"), std::string::npos) << run.Text();
  ExpectWellFormedOutput(run);
  if (fs::exists(folder)) {
    for (const auto& name : FilesBelow(folder)) {
      EXPECT_TRUE(EndsWith(name, ".part") || EndsWith(name, ".part.ctl")) << name;
    }
  }
}

// The value of the one line tagged so ("<filename>" ...), empty if none.
inline std::string TagValue(const RunResult& run, const std::string& tag) {
  const auto lines = run.Starting("<" + tag + ">");
  if (lines.size() != 1) return {};
  const std::string& line = lines[0];
  const std::size_t open = tag.size() + 2;
  const std::size_t close = line.rfind("</" + tag + ">");
  return close == std::string::npos || close < open ? "" : line.substr(open, close - open);
}

}  // namespace tarnfetch_test
