#include "pipeline/StopAll.h"

#include <string>
#include <vector>

#include "convert/TConvertThread.h"
#include "download/TDownloadThread.h"
#include "missions/MissionStatus.h"
#include "shared/Text.h"

namespace quillmarsh {

namespace {
// Finished work keeps its status when its download worker is stopped, and
// a paused mission stays paused.
bool KeepsStatusOnStop(const std::string& status) {
  return status == Status::SkipFileExists || status == Status::Downloaded ||
         status == Status::Converted || status == Status::Paused ||
         Status::IsList(status);
}

// Takes every worker off `list`, last first, and lets `rewrite` set the
// status of its row.
template <typename Worker, typename Rewrite>
void DetachAll(std::vector<Worker*>& list, MissionModel& missions, Rewrite rewrite) {
  while (!list.empty()) {
    Worker* worker = list.back();
    list.pop_back();
    if (!worker) continue;
    const int row = worker->MissionIndex;
    worker->Detach();
    if (!missions.isValidRow(row)) continue;
    missions.clearSpeedAndEta(row);
    rewrite(row);
  }
}
}  // namespace

void StopAll(MissionHost& host) {
  host.WriteReport("Close all threads: begin");
  PipelineState& pipeline = host.Pipeline();
  MissionModel& missions = host.Missions();
  pipeline.Stopping = true;
  DetachAll(pipeline.DownloadThreads, missions, [&missions](int row) {
    if (!KeepsStatusOnStop(missions.status(row)))
      missions.setStatus(row, std::string(Status::WaitForDownload));
  });
  // A listed conversion has not ended: one that showed 100 % may still fail
  // writing its end, and its file appears only once ffmpeg has succeeded.
  DetachAll(pipeline.ConvertThreads, missions, [&missions](int row) {
    if (Contains(missions.status(row), Status::Converting) ||
        missions.status(row) == Status::Converted)
      missions.setStatus(row, std::string(Status::WaitForConvert));
  });
  // No worker runs any more: a row still at work (its worker left the list
  // without finishing it) waits again rather than showing work for ever.
  for (int row = 0; row < missions.count(); ++row) {
    if (Contains(missions.status(row), Status::Downloading))
      missions.setStatus(row, std::string(Status::WaitForDownload));
    else if (Contains(missions.status(row), Status::Converting))
      missions.setStatus(row, std::string(Status::WaitForConvert));
  }
  // Nothing is tried again by itself after Stop.
  missions.cancelRetryWaits();
  pipeline.RunningDownloads = 0;
  pipeline.RunningConverts = 0;
  pipeline.Busy = false;
  host.WriteReport("Close all threads: end");
}

}  // namespace quillmarsh
