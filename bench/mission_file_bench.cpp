// Start-up load and one save of a settings file holding 100,000 missions.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "missions/MissionFile.h"
#include "missions/MissionStatus.h"

using namespace quillmarsh;

namespace fs = std::filesystem;

namespace {
constexpr int kMissions = 100000;

// A settings file written once per run, removed at exit.
class StoredList {
 public:
  StoredList() {
    std::string pattern = (fs::temp_directory_path() / "qm-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    dir_ = pattern;
    path_ = (dir_ / "qlmsh.ini").string();
    MissionModel model;
    const std::string folder = "/home/user1/Documents/Video Download/";
    for (int i = 0; i < kMissions; ++i) {
      const std::string id = std::to_string(1000000 + i);
      const std::string name = "Clip number " + id + " of the queue";
      const std::string status =
          i % 3 == 0 ? std::string(Status::Converted) : Status::DownloadingPercent(i % 100);
      model.addLsvItem("https://video.example.com/watch?v=" + id, status, 0, "23.4M", name,
                       folder + name + ".flv", i % 2 == 0, "MP3 Audio(.mp3)", "Quality First");
    }
    IniFile ini(path_);
    SaveMissionFile(ini, model, false, folder);
  }
  ~StoredList() { fs::remove_all(dir_); }
  const std::string& path() const { return path_; }

 private:
  fs::path dir_;
  std::string path_;
};

const StoredList& List() {
  static const StoredList list;
  return list;
}

void BM_LoadSettings(benchmark::State& state) {
  for (auto _ : state) {
    IniFile ini(List().path());
    MissionModel model;
    LoadMissionFile(ini, model, "/default/");
    if (model.count() != kMissions) state.SkipWithError("wrong row count");
  }
  state.counters["bytes"] = static_cast<double>(fs::file_size(List().path()));
}
BENCHMARK(BM_LoadSettings)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SaveSettings(benchmark::State& state) {
  IniFile ini(List().path());
  MissionModel model;
  LoadMissionFile(ini, model, "/default/");
  for (auto _ : state) SaveMissionFile(ini, model, false, "/out/");
}
BENCHMARK(BM_SaveSettings)->Unit(benchmark::kMillisecond)->Iterations(5);
}  // namespace

BENCHMARK_MAIN();
