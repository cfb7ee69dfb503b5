#pragma once
// A mission host without windows for the conversion tests: its own list and
// pipeline state, recorded report and log lines, an adjustable limit, and
// StartConvert wired to the real scheduler.

#include <QPointer>
#include <string>
#include <vector>

#include "convert/TConvertThread.h"
#include "missions/MissionHost.h"

class ConvertTestHost : public MissionHost {
 public:
  ConvertTestHost();

  MissionModel& Missions() override { return missions; }
  PipelineState& Pipeline() override { return pipeline; }
  void WriteReport(const std::string& text) override { reports.push_back(text); }
  void WriteLog(const std::string& text) override { logs.push_back(text); }
  void StartDownload() override {}
  void StartConvert() override;
  void SaveSettings() override {}
  int DownloadLimit() const override { return 1; }
  int ConvertLimit() const override { return convertLimit; }
  void SetDownloadingButtons() override {}
  void RepaintList() override {}

  // What the Stop button does to the conversion side of the pipeline.
  void StopConversions();

  // True once every worker this host's StartConvert started has been freed.
  bool AllWorkersFreed() const;

  // Report lines that begin with `prefix`.
  std::vector<std::string> ReportsStartingWith(const std::string& prefix) const;

  MissionModel missions;
  PipelineState pipeline;
  std::vector<std::string> reports;
  std::vector<std::string> logs;
  int convertLimit = 1;
  int startConvertCalls = 0;
  std::vector<QPointer<TConvertThread>> started;
};
