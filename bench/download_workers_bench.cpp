// Eight download workers whose downloaders print progress lines as fast as
// they can for 10 s. Measures how late a 10 ms timer on the user-interface
// thread fires meanwhile, and checks that every line handed over arrives
// once and in order (the lines are numbered).
//
// Variant 0: the workers as the scheduler starts them (500 ms, 500 bytes).
// Variant 1: no wait between passes, so hand-overs come as fast as the
//            user-interface thread takes them.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <vector>

#include "BenchSupport.h"
#include "download/DownloadScheduler.h"
#include "download/TDownloadThread.h"
#include "missions/MissionHost.h"

using namespace quillmarsh;

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kWorkers = 8;
constexpr auto kRunTime = std::chrono::seconds(10);

class BenchHost : public QuietHost {
 public:
  // Every prefixed chunk comes here: keep its text per row.
  void WriteLog(const std::string& text) override {
    const auto colon = text.find(" : ");
    const int row = std::stoi(text.substr(0, colon));
    streams[row] += text.substr(colon + 3);
    ++chunks;
  }
  void StartDownload() override { StartWaitingDownloads(*this); }
  int DownloadLimit() const override { return kWorkers; }

  std::vector<std::string> streams = std::vector<std::string>(kWorkers);
  long chunks = 0;
};

// A downloader that numbers its progress lines and never stops by itself.
std::string MakeAppFolder() {
  std::string dir = (std::filesystem::temp_directory_path() / "qm-bench-XXXXXX").string();
  if (!mkdtemp(dir.data())) std::abort();
  const std::string program = dir + "/tarnfetch";
  std::ofstream(program) << "#!/bin/sh\ni=0\nwhile :; do i=$((i+1)); "
                            "echo \"<speed> 45.0% of 8.0M at 1.2M ETA 00:05</speed> #$i\"; done\n";
  ::chmod(program.c_str(), 0755);
  return dir + "/";
}

// Counts the numbered lines of one stream; false when one is missing or
// repeated.
bool CountLines(const std::string& stream, long& lines) {
  long expected = 1;
  for (std::size_t at = stream.find('#'); at != std::string::npos; at = stream.find('#', at + 1)) {
    std::size_t end = at + 1;
    while (end < stream.size() && stream[end] >= '0' && stream[end] <= '9') ++end;
    if (end == at + 1) continue;
    if (std::stol(stream.substr(at + 1, end - at - 1)) != expected) return false;
    ++expected;
  }
  lines += expected - 1;
  return true;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

void BM_EightBusyDownloads(benchmark::State& state) {
  const bool noWait = state.range(0) == 1;
  const std::string appDir = MakeAppFolder();
  for (auto _ : state) {
    BenchHost host;
    host.programDir = appDir;
    host.outputDir = appDir + "out/";
    for (int i = 0; i < kWorkers; ++i)
      host.missions.addLsvItem("http://v/" + std::to_string(i), "[Wait for download]", 0, "", "",
                               "", false, "", "");
    if (noWait) {
      TDownloadThread::Options fast = TDownloadThread::DefaultCapture();
      fast.wait = std::chrono::milliseconds(0);
      for (int row = 0; row < kWorkers; ++row) {
        auto* w = new TDownloadThread(host, fast);
        host.pipeline.DownloadThreads.push_back(w);
        w->SetOnTerminate(&TDownloadThread::DownloadThreadTerminate);
        w->TakeSlot();
        w->MissionIndex = row;
        w->Url = host.missions.url(row);
        w->SetArguments(DownloaderArguments(host, w->Url));
        w->start();
      }
    } else {
      host.StartDownload();
    }
    std::vector<QPointer<QObject>> workers(host.pipeline.DownloadThreads.begin(),
                                           host.pipeline.DownloadThreads.end());

    std::vector<double> lateMs;
    Clock::time_point previous{};
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      const auto now = Clock::now();
      if (previous != Clock::time_point{})
        lateMs.push_back(std::chrono::duration<double, std::milli>(now - previous).count() - 10);
      previous = now;
    });
    QEventLoop loop;
    QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(kRunTime),
                       Qt::PreciseTimer, &loop, &QEventLoop::quit);
    ticker.start();
    loop.exec();
    ticker.stop();

    for (TDownloadThread* w : host.pipeline.DownloadThreads) w->TerminateChild();
    while (std::any_of(workers.begin(), workers.end(), [](auto& w) { return !w.isNull(); })) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    long lines = 0;
    bool intact = true;
    for (const std::string& s : host.streams) intact = CountLines(s, lines) && intact;
    if (!intact) state.SkipWithError("a line was lost or handed over twice");
    state.counters["late_p50_ms"] = Percentile(lateMs, 0.50);
    state.counters["late_p99_ms"] = Percentile(lateMs, 0.99);
    state.counters["late_max_ms"] = Percentile(lateMs, 1.0);
    state.counters["chunks"] = static_cast<double>(host.chunks);
    state.counters["lines"] = static_cast<double>(lines);
    state.counters["lines_per_s"] =
        static_cast<double>(lines) / std::chrono::duration<double>(kRunTime).count();
  }
  std::filesystem::remove_all(appDir);
}
BENCHMARK(BM_EightBusyDownloads)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
}  // namespace

int main(int argc, char** argv) {
  return RunBenchmarks(argc, argv);
}
