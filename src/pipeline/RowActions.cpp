#include "pipeline/RowActions.h"

#include "convert/ConvertOptions.h"
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

bool RetryApplies(const std::string& status, bool busy) {
  if (status == Status::ErrorInDownload || status == Status::ErrorInConvert) return true;
  return !busy && (status == Status::WaitForDownload || status == Status::WaitForConvert);
}

bool RetryRow(MissionModel& missions, int row, bool busy) {
  if (!missions.isValidRow(row) || !RetryApplies(missions.status(row), busy)) return false;
  if (missions.status(row) == Status::ErrorInDownload)
    missions.setStatus(row, std::string(Status::WaitForDownload));
  else if (missions.status(row) == Status::ErrorInConvert)
    missions.setStatus(row, std::string(Status::WaitForConvert));
  return true;
}

}  // namespace quillmarsh
