#pragma once
// A mission host without windows: its own mission list and pipeline state,
// recorded report and log lines, adjustable limits, counted calls, and
// hooks. StartDownload runs the real download scheduler unless a hook
// replaces it; StartConvert only counts unless a hook is set.
//
// The destructor stops every download worker the host has seen and waits
// until they are freed, so a failed test leaves nothing running.

#include <QPointer>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "missions/MissionHost.h"

class TDownloadThread;

class TestHost : public MissionHost {
 public:
  TestHost();
  ~TestHost() override;

  MissionModel& Missions() override { return missions; }
  PipelineState& Pipeline() override { return pipeline; }
  void WriteReport(const std::string& text) override { reports.push_back(text); }
  void WriteLog(const std::string& text) override { logs.push_back(text); }
  void StartDownload() override;
  void StartConvert() override;
  void SaveSettings() override;
  int DownloadLimit() const override { return downloadLimit; }
  int ConvertLimit() const override { return convertLimit; }
  void SetDownloadingButtons() override { ++downloadingButtonsCalls; }
  void RepaintList() override { ++repaintCalls; }

  // Appends a mission with the given status; returns its row.
  int AddMission(const std::string& url, const std::string& status = "[Wait for download]");

  // What the Stop button does to the download side: every listed worker is
  // detached, its row set back to waiting, the counter cleared.
  void StopDownloads();

  // True once no download worker is listed and every one seen is freed.
  bool DownloadsIdle() const;
  bool WaitForDownloadsIdle(std::chrono::milliseconds timeout = std::chrono::seconds(20));

  // Report lines that begin with `prefix`.
  std::vector<std::string> ReportsStartingWith(const std::string& prefix) const;

  MissionModel missions;
  PipelineState pipeline;
  std::vector<std::string> reports;
  std::vector<std::string> logs;
  int downloadLimit = 1;
  int convertLimit = 1;
  int startDownloadCalls = 0;
  int startConvertCalls = 0;
  int saveSettingsCalls = 0;
  int downloadingButtonsCalls = 0;
  int repaintCalls = 0;

  std::function<void()> onStartDownload;  // replaces the real scheduler when set
  std::function<void()> onStartConvert;
  std::function<void()> onSaveSettings;  // e.g. throw IniWriteError

 private:
  void TrackNewWorkers();
  std::vector<QPointer<QObject>> seenWorkers_;
};
