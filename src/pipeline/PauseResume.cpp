#include "pipeline/PauseResume.h"

#include <string>
#include <vector>

#include "convert/TConvertThread.h"
#include "download/TDownloadThread.h"
#include "missions/MissionStatus.h"
#include "pipeline/RowActions.h"
#include "shared/Text.h"

namespace quillmarsh {

namespace {
// Takes the row's workers off `list`: each gives its slot back and ends.
template <typename Worker>
bool WithdrawWorkersOf(std::vector<Worker*>& list, int row) {
  bool freed = false;
  for (auto it = list.begin(); it != list.end();) {
    Worker* worker = *it;
    if (!worker || worker->MissionIndex != row) {
      ++it;
      continue;
    }
    it = list.erase(it);
    freed = freed || worker->HoldsSlot();
    worker->Withdraw();
  }
  return freed;
}
}  // namespace

std::string_view ResumeStatusOf(std::string_view status, bool doConvert) {
  if (status == Status::WaitForDownload || Contains(status, Status::Downloading))
    return Status::WaitForDownload;
  if (status == Status::WaitForConvert || Contains(status, Status::Converting))
    return Status::WaitForConvert;
  if (doConvert && (status == Status::Downloaded || status == Status::SkipFileExists))
    return Status::WaitForConvert;
  return {};
}

bool PauseApplies(const MissionModel& missions, int row) {
  return missions.isValidRow(row) &&
         !ResumeStatusOf(missions.status(row), missions.record(row).doConvert).empty();
}

bool PauseRow(MissionHost& host, int row) {
  MissionModel& missions = host.Missions();
  if (!PauseApplies(missions, row)) return false;
  const std::string_view resume =
      ResumeStatusOf(missions.status(row), missions.record(row).doConvert);
  PipelineState& pipeline = host.Pipeline();
  // Every worker of the row, in both lists: a downloader still ending after
  // its done marker would otherwise rewrite the paused row with its late
  // lines, and Stop would treat the row as its download.
  const bool freedDownload = WithdrawWorkersOf(pipeline.DownloadThreads, row);
  const bool freed = WithdrawWorkersOf(pipeline.ConvertThreads, row) || freedDownload;
  missions.record(row).resumeStatus = std::string(resume);
  missions.clearSpeedAndEta(row);
  missions.setStatus(row, std::string(Status::Paused));
  host.WriteReport("[Paused] " + missions.url(row));
  return freed;
}

bool ResumeApplies(const MissionModel& missions, const PipelineState& pipeline, int row) {
  return missions.isValidRow(row) && missions.status(row) == Status::Paused &&
         !WorkerOfRowRuns(pipeline, row);
}

bool ResumeRow(MissionModel& missions, const PipelineState& pipeline, int row) {
  if (!ResumeApplies(missions, pipeline, row)) return false;
  std::string resume = std::move(missions.record(row).resumeStatus);
  missions.record(row).resumeStatus.clear();
  if (resume != Status::WaitForConvert) resume = std::string(Status::WaitForDownload);
  missions.setStatus(row, std::move(resume));
  return true;
}

}  // namespace quillmarsh
