#include "download/DownloadScheduler.h"

#include "download/TDownloadThread.h"
#include "missions/MissionStatus.h"

namespace quillmarsh {

namespace {
std::string OutputTemplate(const MissionHost& host) {
  return host.OutputDir() + "%(title)s.%(ext)s";
}
}  // namespace

int GetNextDownUrl(const MissionModel& missions) {
  for (int row = 0; row < missions.count(); ++row)
    if (missions.status(row) == Status::WaitForDownload) return row;
  return -1;
}

std::vector<std::string> DownloaderArguments(const MissionHost& host, const std::string& url) {
  std::vector<std::string> args{host.ProgramDir() + "tarnfetch", url, "-p", OutputTemplate(host)};
  const std::vector<std::string> options = host.DownloaderOptions(url);
  args.insert(args.end(), options.begin(), options.end());
  return args;
}

std::string DownloaderCommandLine(const MissionHost& host, const std::string& url) {
  return "tarnfetch " + url + " -p \"" + OutputTemplate(host) + "\"";
}

void StartWaitingDownloads(MissionHost& host) {
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
    auto* worker = new TDownloadThread(host);
    pipeline.DownloadThreads.push_back(worker);
    worker->SetOnTerminate(&TDownloadThread::DownloadThreadTerminate);
    worker->TakeSlot();
    worker->MissionIndex = next;
    worker->Url = missions.url(next);
    worker->CommandLine = DownloaderCommandLine(host, worker->Url);
    worker->SetArguments(DownloaderArguments(host, worker->Url));
    host.WriteReport("[Command Line]: " + worker->CommandLine);
    worker->start();
    next = GetNextDownUrl(missions);
  }
}

}  // namespace quillmarsh
