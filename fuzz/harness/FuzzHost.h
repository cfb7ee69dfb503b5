#pragma once
// A mission host for the fuzz targets: the real mission model and pipeline
// state, schedulers that only count their calls, and the Qt application
// object that hand-overs need (made on first use when none exists yet).

#include <QCoreApplication>
#include <string>

#include "missions/MissionHost.h"

namespace fuzz {

inline void EnsureCoreApplication() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "quillmarsh-fuzz";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
}

class FuzzHost : public MissionHost {
 public:
  MissionModel& Missions() override { return missions; }
  PipelineState& Pipeline() override { return pipeline; }
  void WriteReport(const std::string& text) override {
    ++reports;
    lastReport = text;
  }
  void WriteLog(const std::string& text) override {
    ++logs;
    lastLog = text;
  }
  void StartDownload() override { ++startDownloadCalls; }
  void StartConvert() override { ++startConvertCalls; }
  void SaveSettings() override {}
  int DownloadLimit() const override { return 1; }
  int ConvertLimit() const override { return 1; }
  void SetDownloadingButtons() override {}
  void RepaintList() override { ++repaints; }

  MissionModel missions;
  PipelineState pipeline;
  int reports = 0;
  int logs = 0;
  std::string lastReport;
  std::string lastLog;
  int startDownloadCalls = 0;
  int startConvertCalls = 0;
  int repaints = 0;
};

}  // namespace fuzz
