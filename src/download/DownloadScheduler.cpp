#include "download/DownloadScheduler.h"

#include "app/pasGlobal.h"
#include "download/TDownloadThread.h"
#include "missions/MissionStatus.h"

namespace {
std::string OutputTemplate() {
  return Paths.outputDir + "%(title)s.%(ext)s";
}
}  // namespace

int GetNextDownUrl(const MissionModel& missions) {
  for (int row = 0; row < missions.count(); ++row)
    if (missions.status(row) == Status::WaitForDownload) return row;
  return -1;
}

std::vector<std::string> DownloaderArguments(const std::string& url) {
  return {Paths.appDir + "tarnfetch", url, "-p", OutputTemplate()};
}

std::string DownloaderCommandLine(const std::string& url) {
  return "tarnfetch " + url + " -p \"" + OutputTemplate() + "\"";
}

void StartDownload(MissionHost& host) {
  PipelineState& pipeline = host.Pipeline();
  MissionModel& missions = host.Missions();
  pipeline.Stopping = false;
  pipeline.Busy = true;
  host.SetDownloadingButtons();
  host.SaveSettings();
  const int limit = host.DownloadLimit();
  host.WriteReport("startDownload");
  int next = GetNextDownUrl(missions);
  host.WriteReport("GetNexUrl: " + std::to_string(next));
  host.WriteReport("Available Download Counter: " +
                   std::to_string(limit - static_cast<int>(pipeline.DownloadThreads.size())));
  if (!pipeline.WorkerListsCreated) return;

  while (pipeline.RunningDownloads < limit && next != -1) {
    missions.setStatus(next, std::string(Status::Downloading));
    ++pipeline.RunningDownloads;
    auto* worker = new TDownloadThread(host);
    pipeline.DownloadThreads.push_back(worker);
    worker->SetOnTerminate(&TDownloadThread::DownloadThreadTerminate);
    worker->HoldsSlot = true;
    worker->MissionIndex = next;
    worker->Url = missions.url(next);
    worker->CommandLine = DownloaderCommandLine(worker->Url);
    worker->SetArguments(DownloaderArguments(worker->Url));
    host.WriteReport("[Command Line]: " + worker->CommandLine);
    worker->start();
    next = GetNextDownUrl(missions);
  }
}
