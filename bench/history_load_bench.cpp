// Start-up read of a download history holding its 100,000 entries.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "missions/DownloadHistory.h"

using namespace quillmarsh;

namespace fs = std::filesystem;

namespace {
// A full history file written once per run, removed at exit.
class StoredHistory {
 public:
  StoredHistory() {
    std::string pattern = (fs::temp_directory_path() / "qm-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    dir_ = pattern;
    path_ = (dir_ / std::string(DownloadHistory::kFileName)).string();
    DownloadHistory history(path_);
    const std::string folder = "/home/user1/Documents/Video Download/";
    for (std::size_t i = 0; i < DownloadHistory::kMaxEntries; ++i) {
      const std::string id = std::to_string(1000000 + i);
      history.Remember("https://video.example.com/watch?v=" + id + "&list=PL42",
                       folder + "Clip number " + id + " of the queue.mp4", "2026-12-08");
    }
    if (!history.Save()) std::abort();
  }
  ~StoredHistory() { fs::remove_all(dir_); }
  const std::string& path() const { return path_; }

 private:
  fs::path dir_;
  std::string path_;
};

void BM_LoadHistory(benchmark::State& state) {
  static const StoredHistory stored;
  for (auto _ : state) {
    DownloadHistory history(stored.path());
    history.Load();
    if (history.size() != DownloadHistory::kMaxEntries) state.SkipWithError("wrong entry count");
  }
  state.counters["bytes"] = static_cast<double>(fs::file_size(stored.path()));
}
BENCHMARK(BM_LoadHistory)->Unit(benchmark::kMillisecond)->Iterations(5);
}  // namespace

BENCHMARK_MAIN();
