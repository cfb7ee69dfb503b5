#pragma once
// The one mission host without windows, for tests, benchmarks and fuzz
// targets: its own mission list and pipeline state, recorded report and log
// lines (unless `recordLines` is off), folders and limits to set, counted
// calls, and hooks. StartDownload runs the real download scheduler unless
// a hook replaces it; StartConvert only counts unless a hook is set.
//
// The destructor stops every worker the host has seen (as the Stop button
// does) and waits until they are freed, so a failed test leaves nothing
// running.

#include <QPointer>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "missions/MissionHost.h"

namespace quillmarsh {

class TestHost : public MissionHost {
 public:
  TestHost();
  ~TestHost() override;

  MissionModel& Missions() override { return missions; }
  PipelineState& Pipeline() override { return pipeline; }
  std::string ProgramDir() const override { return programDir; }
  std::string OutputDir() const override { return outputDir; }
  void WriteReport(const std::string& text) override;
  void WriteLog(const std::string& text) override;
  void StartDownload() override;
  void StartConvert() override;
  void SaveSettings() override;
  void ListFound(FoundList list) override { foundLists.push_back(std::move(list)); }
  int DownloadLimit() const override { return downloadLimit; }
  int ConvertLimit() const override { return convertLimit; }
  std::string SpeedLimit() const override { return speedLimit; }
  void SetDownloadingButtons() override { ++downloadingButtonsCalls; }
  void RepaintList() override { ++repaintCalls; }

  // Appends a mission with the given status; returns its row.
  int AddMission(const std::string& url, const std::string& status = "[Wait for download]");

  // Follows the listed workers (and one a test started itself), so that
  // WaitForIdle waits until they are freed.
  void TrackListedWorkers();
  void Track(QObject* worker);

  // True once no worker is listed and every one seen is freed.
  bool Idle();
  bool WaitForIdle(std::chrono::milliseconds timeout = std::chrono::seconds(20));

  // Report lines that begin with `prefix`.
  std::vector<std::string> ReportsStartingWith(const std::string& prefix) const;

  MissionModel missions;
  PipelineState pipeline;
  std::string programDir;   // ends in '/'
  std::string outputDir;    // ends in '/'
  bool recordLines = true;  // benchmarks turn it off to measure the workers alone
  std::vector<std::string> reports;
  std::vector<std::string> logs;
  std::vector<FoundList> foundLists;
  int reportCalls = 0;
  int logCalls = 0;
  int downloadLimit = 1;
  int convertLimit = 1;
  std::string speedLimit;
  int startDownloadCalls = 0;
  int startConvertCalls = 0;
  int saveSettingsCalls = 0;
  int downloadingButtonsCalls = 0;
  int repaintCalls = 0;

  std::function<void()> onStartDownload;  // replaces the real scheduler when set
  std::function<void()> onStartConvert;
  std::function<void()> onSaveSettings;  // e.g. throw IniWriteError

 private:
  std::vector<QPointer<QObject>> seenWorkers_;
};

}  // namespace quillmarsh
