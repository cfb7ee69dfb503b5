#pragma once
// Shared by the benchmarks: a host without windows, and a main that gives
// the workers' hand-overs an application object to run on.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <string>

#include "missions/MissionHost.h"

// The list and the counters, nothing else: benchmarks override what they watch.
class QuietHost : public MissionHost {
 public:
  QuietHost() { pipeline.WorkerListsCreated = true; }
  MissionModel& Missions() override { return missions; }
  PipelineState& Pipeline() override { return pipeline; }
  void WriteReport(const std::string&) override {}
  void WriteLog(const std::string&) override {}
  void StartDownload() override {}
  void StartConvert() override {}
  void SaveSettings() override {}
  int DownloadLimit() const override { return 1; }
  int ConvertLimit() const override { return 1; }
  void SetDownloadingButtons() override {}
  void RepaintList() override {}

  MissionModel missions;
  PipelineState pipeline;
};

inline int RunBenchmarksWithCoreApp(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
