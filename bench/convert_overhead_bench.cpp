// The cost of running ffmpeg through the conversion worker rather than on
// its own: the same 20 s clip is converted both ways in every iteration, in
// alternating order, and the counters give both times and the overhead.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "convert/ConvertOptions.h"
#include "convert/ConvertScheduler.h"
#include "convert/FfmpegCommand.h"
#include "missions/MissionHost.h"

using namespace quillmarsh;

namespace fs = std::filesystem;

namespace {
using Clock = std::chrono::steady_clock;
const char* const kFfmpeg = "/usr/bin/ffmpeg";
const char* const kFormat = "iPad (.mp4)";
const char* const kPreset = "Both";

class BenchHost : public QuietHost {
 public:
  void StartConvert() override { StartWaitingConversions(*this); }
};

// Runs argv with its output thrown away, as a shell user would, and waits.
int RunQuietly(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

struct Workspace {
  Workspace() {
    dir = fs::temp_directory_path() / ("qm-convert-bench-" + std::to_string(getpid()));
    fs::create_directories(dir / "app");
    fs::create_symlink(kFfmpeg, dir / "app" / "ffmpeg");
    appDir = (dir / "app").string() + "/";
    clip = (dir / "clip.avi").string();
    RunQuietly({kFfmpeg, "-y", "-f", "lavfi", "-i", "testsrc=duration=20:size=640x360:rate=25",
                "-f", "lavfi", "-i", "sine=duration=20", "-pix_fmt", "yuv420p", "-c:v", "mpeg4",
                "-q:v", "5", "-c:a", "libmp3lame", clip});
  }
  ~Workspace() { fs::remove_all(dir); }
  fs::path dir;
  std::string appDir;
  std::string clip;
};

Clock::duration ConvertAlone(const std::string& clip) {
  const ConvertArgs args = GetConvertArgs(kFormat, kPreset);
  const FfmpegCommand cmd = BuildFfmpegCommand(kFfmpeg, clip, args.args, args.ext);
  fs::remove(cmd.outputFile);
  std::vector<std::string> argv = cmd.argv;
  argv.push_back(cmd.outputFile);  // the worker writes a temporary file instead
  const auto start = Clock::now();
  if (RunQuietly(argv) != 0) return Clock::duration::zero();
  return Clock::now() - start;
}

Clock::duration ConvertThroughWorker(const Workspace& ws) {
  const std::string& clip = ws.clip;
  fs::remove(clip + ".mp4");
  BenchHost host;
  host.programDir = ws.appDir;
  host.missions.addLsvItem("u", "[Downloaded]", 0, "", "", clip, true, kFormat, kPreset);
  const auto start = Clock::now();
  host.StartConvert();
  // The worker hands over through queued calls: run them as they come.
  while (!host.pipeline.ConvertThreads.empty())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  const auto took = Clock::now() - start;
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return host.missions.status(0) == "[Converted]" ? took : Clock::duration::zero();
}

void BM_ConvertOverhead(benchmark::State& state) {
  if (!fs::exists(kFfmpeg)) {
    state.SkipWithError("ffmpeg is not installed");
    return;
  }
  Workspace ws;
  Clock::duration alone{}, worker{};
  bool workerFirst = false;
  for (auto _ : state) {
    Clock::duration a, w;
    if (workerFirst) {
      w = ConvertThroughWorker(ws);
      a = ConvertAlone(ws.clip);
    } else {
      a = ConvertAlone(ws.clip);
      w = ConvertThroughWorker(ws);
    }
    if (a == Clock::duration::zero() || w == Clock::duration::zero()) {
      state.SkipWithError("a conversion failed");
      return;
    }
    alone += a;
    worker += w;
    workerFirst = !workerFirst;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["alone_s"] = Seconds(alone) / n;
  state.counters["worker_s"] = Seconds(worker) / n;
  state.counters["overhead_pct"] = (Seconds(worker) / Seconds(alone) - 1) * 100;
}
BENCHMARK(BM_ConvertOverhead)->Iterations(6)->UseRealTime()->Unit(benchmark::kSecond);
}  // namespace

int main(int argc, char** argv) {
  return RunBenchmarks(argc, argv);
}
