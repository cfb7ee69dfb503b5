#include "support/TestHost.h"

#include <algorithm>

#include "app/pasUtils.h"
#include "download/DownloadScheduler.h"
#include "download/TDownloadThread.h"
#include "missions/MissionStatus.h"
#include "support/QtTestApp.h"

TestHost::TestHost() {
  pipeline.WorkerListsCreated = true;
}

TestHost::~TestHost() {
  StopDownloads();
  WaitForDownloadsIdle(std::chrono::seconds(20));
}

void TestHost::StartDownload() {
  ++startDownloadCalls;
  if (onStartDownload) {
    onStartDownload();
  } else {
    ::StartDownload(*this);
  }
  TrackNewWorkers();
}

void TestHost::StartConvert() {
  ++startConvertCalls;
  if (onStartConvert) onStartConvert();
}

void TestHost::SaveSettings() {
  ++saveSettingsCalls;
  if (onSaveSettings) onSaveSettings();
}

int TestHost::AddMission(const std::string& url, const std::string& status) {
  return missions.addLsvItem(url, status, 0, "", "", "", false, "", "");
}

void TestHost::StopDownloads() {
  TrackNewWorkers();
  pipeline.Stopping = true;
  while (!pipeline.DownloadThreads.empty()) {
    TDownloadThread* worker = pipeline.DownloadThreads.back();
    pipeline.DownloadThreads.pop_back();
    const int row = worker->MissionIndex;
    worker->Detach();
    if (!missions.isValidRow(row)) continue;
    missions.setSubItem(row, SubSpeed, {});
    missions.setSubItem(row, SubEta, {});
    const std::string& status = missions.status(row);
    if (status != Status::SkipFileExists && status != Status::Downloaded &&
        status != Status::Converted)
      missions.setStatus(row, std::string(Status::WaitForDownload));
  }
  pipeline.RunningDownloads = 0;
  pipeline.Busy = false;
}

bool TestHost::DownloadsIdle() const {
  return pipeline.DownloadThreads.empty() &&
         std::all_of(seenWorkers_.begin(), seenWorkers_.end(),
                     [](const QPointer<QObject>& w) { return w.isNull(); });
}

bool TestHost::WaitForDownloadsIdle(std::chrono::milliseconds timeout) {
  return SpinUntil([this] { return DownloadsIdle(); }, timeout);
}

std::vector<std::string> TestHost::ReportsStartingWith(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& line : reports)
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  return found;
}

void TestHost::TrackNewWorkers() {
  for (TDownloadThread* worker : pipeline.DownloadThreads) {
    const bool known = std::any_of(seenWorkers_.begin(), seenWorkers_.end(),
                                   [worker](const QPointer<QObject>& w) { return w == worker; });
    if (!known) seenWorkers_.emplace_back(worker);
  }
}
