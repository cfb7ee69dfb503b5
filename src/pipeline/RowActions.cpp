#include "pipeline/RowActions.h"

#include <algorithm>

#include "convert/ConvertOptions.h"
#include "convert/TConvertThread.h"
#include "download/TDownloadThread.h"
#include "missions/MissionStatus.h"
#include "platform/UserFolders.h"

namespace quillmarsh {

std::string FileToOpen(const MissionModel& missions, int row) {
  if (!missions.isValidRow(row)) return {};
  const TLsvData& record = missions.record(row);
  if (record.fileName.empty()) return {};
  if (missions.status(row) == Status::Converted) {
    const ConvertArgs convert = GetConvertArgs(record.format, record.priority);
    const std::string converted = record.fileName + convert.ext;
    if (convert.found && FileExists(converted)) return converted;
  }
  return FileExists(record.fileName) ? record.fileName : std::string();
}

bool WorkerOfRowRuns(const PipelineState& pipeline, int row) {
  const auto forRow = [row](const auto* worker) { return worker && worker->MissionIndex == row; };
  return std::any_of(pipeline.DownloadThreads.begin(), pipeline.DownloadThreads.end(), forRow) ||
         std::any_of(pipeline.ConvertThreads.begin(), pipeline.ConvertThreads.end(), forRow) ||
         std::any_of(pipeline.EndingWorkers.begin(), pipeline.EndingWorkers.end(), forRow);
}

bool RetryApplies(const MissionModel& missions, const PipelineState& pipeline, int row) {
  if (!missions.isValidRow(row) || WorkerOfRowRuns(pipeline, row)) return false;
  const std::string& status = missions.status(row);
  if (Status::IsFailure(status)) return true;
  return !pipeline.Busy && (status == Status::WaitForDownload || status == Status::WaitForConvert);
}

bool RetryRow(MissionModel& missions, const PipelineState& pipeline, int row) {
  if (!RetryApplies(missions, pipeline, row)) return false;
  if (missions.status(row) == Status::ErrorInDownload)
    missions.setStatus(row, std::string(Status::WaitForDownload));
  else if (missions.status(row) == Status::ErrorInConvert)
    missions.setStatus(row, std::string(Status::WaitForConvert));
  return true;
}

}  // namespace quillmarsh
