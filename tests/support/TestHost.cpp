#include "support/TestHost.h"

#include <algorithm>

#include "convert/TConvertThread.h"
#include "download/DownloadScheduler.h"
#include "download/TDownloadThread.h"
#include "pipeline/StopAll.h"
#include "support/QtTestApp.h"

namespace quillmarsh {

TestHost::TestHost() {
  pipeline.WorkerListsCreated = true;
}

TestHost::~TestHost() {
  TrackListedWorkers();
  StopAll(*this);
  WaitForIdle(std::chrono::seconds(20));
}

void TestHost::WriteReport(const std::string& text) {
  ++reportCalls;
  if (recordLines) reports.push_back(text);
}

void TestHost::WriteLog(const std::string& text) {
  ++logCalls;
  if (recordLines) logs.push_back(text);
}

void TestHost::StartDownload() {
  ++startDownloadCalls;
  if (onStartDownload) {
    onStartDownload();
  } else {
    StartWaitingDownloads(*this);
  }
  TrackListedWorkers();
}

void TestHost::StartConvert() {
  ++startConvertCalls;
  if (onStartConvert) onStartConvert();
  TrackListedWorkers();
}

void TestHost::SaveSettings() {
  ++saveSettingsCalls;
  if (onSaveSettings) onSaveSettings();
}

int TestHost::AddMission(const std::string& url, const std::string& status) {
  return missions.addLsvItem(url, status, 0, "", "", "", false, "", "");
}

void TestHost::Track(QObject* worker) {
  const bool known = std::any_of(seenWorkers_.begin(), seenWorkers_.end(),
                                 [worker](const QPointer<QObject>& w) { return w == worker; });
  if (!known) seenWorkers_.emplace_back(worker);
}

void TestHost::TrackListedWorkers() {
  for (TDownloadThread* worker : pipeline.DownloadThreads) Track(worker);
  for (TConvertThread* worker : pipeline.ConvertThreads) Track(worker);
}

bool TestHost::Idle() {
  TrackListedWorkers();
  return pipeline.DownloadThreads.empty() && pipeline.ConvertThreads.empty() &&
         std::all_of(seenWorkers_.begin(), seenWorkers_.end(),
                     [](const QPointer<QObject>& w) { return w.isNull(); });
}

bool TestHost::WaitForIdle(std::chrono::milliseconds timeout) {
  return SpinUntil([this] { return Idle(); }, timeout);
}

std::vector<std::string> TestHost::ReportsStartingWith(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& line : reports)
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  return found;
}

}  // namespace quillmarsh
