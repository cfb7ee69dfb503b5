#include "download/DownloadScheduler.h"

#include "download/TDownloadThread.h"
#include "missions/MissionStatus.h"
#include "shared/ByteRate.h"
#include "shared/Text.h"

namespace quillmarsh {

namespace {
std::string OutputTemplate(const MissionHost& host) {
  return host.OutputDir() + "%(title)s.%(ext)s";
}

// The host's speed limit in bytes a second; 0 when there is none or its
// text is not a speed.
std::uint64_t SpeedLimit(const MissionHost& host) {
  return ParseByteRate(Trim(host.SpeedLimit())).value_or(0);
}

// " --limit-rate N" when there is a limit.
std::vector<std::string> LimitArguments(const MissionHost& host) {
  const std::uint64_t limit = SpeedLimit(host);
  if (limit == 0) return {};
  return {"--limit-rate", std::to_string(limit)};
}
}  // namespace

int GetNextDownUrl(const MissionModel& missions) {
  for (int row = 0; row < missions.count(); ++row)
    if (missions.status(row) == Status::WaitForDownload && !missions.record(row).retry.waiting)
      return row;
  return -1;
}

std::vector<std::string> DownloaderArguments(const MissionHost& host, const std::string& url) {
  std::vector<std::string> args{host.ProgramDir() + "tarnfetch", url, "-p", OutputTemplate(host)};
  for (std::string& arg : LimitArguments(host)) args.push_back(std::move(arg));
  const std::vector<std::string> options = host.SignInArguments(url);
  args.insert(args.end(), options.begin(), options.end());
  return args;
}

std::string DownloaderCommandLine(const MissionHost& host, const std::string& url) {
  std::string line = "tarnfetch " + url + " -p \"" + OutputTemplate(host) + "\"";
  for (const std::string& arg : LimitArguments(host)) line += " " + arg;
  return line;
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
  if (const std::string text = Trim(host.SpeedLimit()); !text.empty() && !ParseByteRate(text)) {
    host.WriteReport("[SpeedLimit]: \"" + text + "\" is not a speed (such as 2M); no limit");
  }
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
