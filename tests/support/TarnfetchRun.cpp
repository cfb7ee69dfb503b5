#include "support/TarnfetchRun.h"

#include <chrono>
#include <cstdlib>
#include <random>
#include <sstream>

#include "platform/ConsoleProcess.h"
#include "support/TempDir.h"

namespace tarnfetch_test {
namespace {

// tarnfetch keeps its own site extractor in Quillmarsh's data folder and
// may fetch a newer release: the tests' runs get a data folder of their
// own, with updates turned off (a background check would run a stand-in
// extractor while a test reads what it was asked), and a release address
// where nothing answers, unless a test sets its own. It remembers
// connection counts in the cache folder: one of their own too.
struct TestFolders {
  TestFolders() {
    setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    setenv("XDG_CACHE_HOME", cache.path().c_str(), 1);
    setenv("TARNFETCH_TEST_RELEASE_URL", "http://127.0.0.1:9/", 1);
    fs::create_directories(data.path() + "/Quillmarsh");
    WriteFile(data.path() + "/Quillmarsh/qlmsh.ini", "[Config]\r\nUpdateSiteExtractor=0\r\n");
    // The loopback server must be reached directly, whatever the machine uses.
    for (const char* name :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
      unsetenv(name);
    }
  }
  TempDir data, cache;
};
const TestFolders kTestFolders;

}  // namespace

RunResult RunTarnfetch(const std::vector<std::string>& args) {
  std::vector<std::string> argv{kTarnfetch};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv);
}

RunResult RunTarnfetchMeasured(const std::string& url, const fs::path& folder, long* peakKb) {
  const fs::path peak = folder / "peak";
  RunResult run = RunProgram({"/usr/bin/time", "-f", "%M", "-o", peak.string(), kTarnfetch, url,
                              "-p", (folder / "out" / "x").string()});
  // The last line: time(1) first reports a non-zero exit status.
  const std::string report = ReadFile(peak);
  *peakKb = std::atol(report.c_str() + report.find_last_of('\n', report.size() - 2) + 1);
  return run;
}

bool KillTarnfetchWhen(const std::vector<std::string>& args, const std::function<bool()>& ready) {
  std::vector<std::string> argv{kTarnfetch};
  argv.insert(argv.end(), args.begin(), args.end());
  ConsoleProcess child;  // ends its process group, so what it started as well
  if (!child.Start(argv, ConsoleProcess::Stdin::Null)) return false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool got = false;
  while (!(got = ready()) && std::chrono::steady_clock::now() < end) {
    if (child.Wait(std::chrono::milliseconds(10)) == ConsoleProcess::WaitResult::Exited) {
      return false;
    }
  }
  child.Terminate();
  child.Wait(std::chrono::seconds(10));
  return got;
}

std::uint64_t RecordedBytes(const fs::path& control) {
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

bool RecordsSegments(const fs::path& control, std::size_t count) {
  return ReadFile(control).find("value segments " + std::to_string(count) + "\n") !=
         std::string::npos;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (auto& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

}  // namespace tarnfetch_test
