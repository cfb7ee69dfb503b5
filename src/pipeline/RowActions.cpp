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
    const std::string converted = ConvertedFileOf(record.fileName, record.format);
    if (!converted.empty() && FileExists(converted)) return converted;
  }
  return FileExists(record.fileName) ? record.fileName : std::string();
}

bool WorkerOfRowRuns(const PipelineState& pipeline, int row) {
  const auto forRow = [row](const auto* worker) { return worker && worker->MissionIndex == row; };
  return std::any_of(pipeline.DownloadThreads.begin(), pipeline.DownloadThreads.end(), forRow) ||
         std::any_of(pipeline.ConvertThreads.begin(), pipeline.ConvertThreads.end(), forRow) ||
         std::any_of(pipeline.EndingWorkers.begin(), pipeline.EndingWorkers.end(), forRow);
}

int ConvertAgainWhereFileIsMissing(MissionModel& missions) {
  int again = 0;
  for (int row = 0; row < missions.count(); ++row) {
    const TLsvData& record = missions.record(row);
    if (missions.status(row) != Status::Converted || !record.doConvert) continue;
    const std::string converted = ConvertedFileOf(record.fileName, record.format);
    if (converted.empty() || FileExists(converted)) continue;
    missions.setStatus(row, std::string(Status::WaitForConvert));
    missions.setProgress(row, 0);
    ++again;
  }
  return again;
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
