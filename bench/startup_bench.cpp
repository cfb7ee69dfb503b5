// Start-up with 100,000 stored missions: the real entry sequence in its own
// process (quillmarsh_startup_probe, from the test tools), timed from the
// spawn to the shown window, to the first paint of the list and to the end
// of the process (closed at once through the confirmed close, which saves
// the list again), with the peak resident memory of the process. Every stored mission is finished,
// so no download starts and the figure is the list's, not the network's.
//
// The build folder is found beside this program (bench-bin/..), or given by
// QM_BUILD_DIR.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "missions/MissionFile.h"
#include "missions/MissionStatus.h"

using namespace quillmarsh;

extern char** environ;

namespace fs = std::filesystem;

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kMissions = 100000;
constexpr auto kRunLimit = std::chrono::seconds(60);

fs::path BuildDir() {
  if (const char* dir = std::getenv("QM_BUILD_DIR")) return dir;
  return fs::read_symlink("/proc/self/exe").parent_path().parent_path();
}

// An application folder, a home folder holding the settings file with the
// missions, and a runtime folder for the single-instance lock.
class Sandbox {
 public:
  Sandbox() {
    std::string pattern = (fs::temp_directory_path() / "qm-startup-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    root_ = pattern;
    const fs::path build = BuildDir();
    fs::create_directories(root_ / "app");
    fs::create_directories(home() / "Documents");
    fs::create_directories(root_ / "run");
    fs::permissions(root_ / "run", fs::perms::owner_all, fs::perm_options::replace);
    fs::copy_file(build / "test-tools" / "quillmarsh_startup_probe", program());
    fs::copy_file(build / "bin" / "tarnfetch", root_ / "app" / "tarnfetch");
    fs::copy_file(build / "bin" / "default.skn", root_ / "app" / "default.skn");
    WriteMissions();
  }
  ~Sandbox() { fs::remove_all(root_); }

  fs::path home() const { return root_ / "home"; }
  fs::path program() const { return root_ / "app" / "quillmarsh"; }
  fs::path iniPath() const { return home() / ".local/share/Quillmarsh/qlmsh.ini"; }
  fs::path runtimeDir() const { return root_ / "run"; }

 private:
  // Only statuses that start no work at start-up.
  void WriteMissions() const {
    static const std::string_view kFinished[] = {Status::Converted, Status::Downloaded,
                                                 Status::SkipFormatOk, Status::ErrorInDownload,
                                                 Status::SkipFileExists};
    const std::string folder = (home() / "Documents/Video Download/").string();
    MissionModel model;
    for (int i = 0; i < kMissions; ++i) {
      const std::string id = std::to_string(10000000 + i);
      const std::string name = "A video title of ordinary length number " + id;
      const bool convert = i % 5 == 0;
      model.addLsvItem("https://www.video.example/watch?v=" + id, std::string(kFinished[i % 5]), 0,
                       "123.4MiB", name, folder + name + ".mp4", convert,
                       convert ? "MP3 (.mp3)" : "", convert ? "Quality First" : "");
    }
    fs::create_directories(iniPath().parent_path());
    IniFile ini(iniPath().string());
    SaveMissionFile(ini, model, false, folder);
  }

  fs::path root_;
};

const Sandbox& TheSandbox() {
  static const Sandbox box;
  return box;
}

// The parent's environment with the sandbox's user and the offscreen
// platform (the program itself never chooses one).
std::vector<std::string> ChildEnvironment(const Sandbox& box) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    if (name == "HOME" || name == "XDG_RUNTIME_DIR" || name == "XDG_DATA_HOME" ||
        name == "XDG_CONFIG_HOME" || name == "QT_QPA_PLATFORM")
      continue;
    env.push_back(entry);
  }
  env.push_back("HOME=" + box.home().string());
  env.push_back("XDG_RUNTIME_DIR=" + box.runtimeDir().string());
  env.push_back("QT_QPA_PLATFORM=offscreen");
  return env;
}

struct RunResult {
  std::string error;  // empty on success
  double shownSeconds = 0;
  double paintedSeconds = 0;
  double exitSeconds = 0;
  long peakRssKb = 0;
};

RunResult RunOnce(const Sandbox& box) {
  RunResult result;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return {"pipe failed"};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const std::string program = box.program().string();
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  std::vector<std::string> envText = ChildEnvironment(box);
  std::vector<char*> envp;
  for (std::string& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);

  const auto start = Clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    return {"spawn failed"};
  }

  const auto seconds = [start] {
    return std::chrono::duration<double>(Clock::now() - start).count();
  };
  std::string text;
  bool timedOut = false;
  for (;;) {
    pollfd p{out[0], POLLIN, 0};
    const auto left = kRunLimit - (Clock::now() - start);
    if (left <= Clock::duration::zero()) {
      timedOut = true;
      break;
    }
    const int ready =
        poll(&p, 1, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (result.shownSeconds == 0 && text.find("SHOWN\t") != std::string::npos)
      result.shownSeconds = seconds();
    if (result.paintedSeconds == 0 && text.find("PAINTED") != std::string::npos)
      result.paintedSeconds = seconds();
  }
  close(out[0]);
  if (timedOut) kill(pid, SIGKILL);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  result.exitSeconds = seconds();
  result.peakRssKb = usage.ru_maxrss;

  if (timedOut) return {"no exit within 60 s"};
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return {"the program failed (status " + std::to_string(status) + "): " + text};
  if (result.shownSeconds == 0 || result.paintedSeconds == 0) return {"window not shown: " + text};
  // The close confirmation comes after the paint; any box before it is a fault.
  if (text.find("BOX\t") < text.find("PAINTED")) return {"a message box was raised: " + text};
  if (text.find("SHOWN\t" + std::to_string(kMissions) + "\n") == std::string::npos)
    return {"wrong mission count: " + text};
  return result;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void BM_StartupWith100kMissions(benchmark::State& state) {
  const Sandbox& box = TheSandbox();
  std::vector<double> shown, painted, exited;
  long peakKb = 0;
  for (auto _ : state) {
    const RunResult r = RunOnce(box);
    if (!r.error.empty()) {
      state.SkipWithError(r.error.c_str());
      break;
    }
    state.SetIterationTime(r.paintedSeconds);
    shown.push_back(r.shownSeconds * 1000);
    painted.push_back(r.paintedSeconds * 1000);
    exited.push_back(r.exitSeconds * 1000);
    peakKb = std::max(peakKb, r.peakRssKb);
  }
  state.counters["shown_ms_median"] = Median(shown);
  state.counters["painted_ms_median"] = Median(painted);
  state.counters["painted_ms_max"] =
      painted.empty() ? 0 : *std::max_element(painted.begin(), painted.end());
  state.counters["exit_ms_median"] = Median(exited);
  state.counters["peak_rss_MB"] = static_cast<double>(peakKb) / 1024;
  state.counters["ini_MB"] = static_cast<double>(fs::file_size(box.iniPath())) / 1e6;
}
// Each iteration is a fresh process; the first one also meets cold caches.
BENCHMARK(BM_StartupWith100kMissions)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
