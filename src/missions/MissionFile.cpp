#include "missions/MissionFile.h"

#include <algorithm>
#include <vector>

#include "missions/MissionStatus.h"
#include "shared/Numbers.h"
#include "shared/Text.h"

namespace quillmarsh {

namespace {
namespace Key {
constexpr std::string_view Url = "url";
constexpr std::string_view Status = "status";
constexpr std::string_view Size = "size";
constexpr std::string_view VideoName = "videoName";
constexpr std::string_view FileName = "fileName";
constexpr std::string_view DoConvert = "doConvert";
constexpr std::string_view Format = "format";
constexpr std::string_view Priority = "priority";
// Added later: a reader that does not know it ignores it.
constexpr std::string_view Reason = "reason";
// Added with pausing, written for paused missions only: where Resume goes
// back to, and the bar the row keeps.
constexpr std::string_view Resume = "resume";
constexpr std::string_view Progress = "progress";
}  // namespace Key

// A damaged count can point far beyond the sections in the file. Gaps
// between stored sections still load as empty rows, but only this many.
constexpr int kMaxEmptyRows = 1000;

int StoredCount(const IniFile& ini) {
  return ini.ReadInteger(IniKeys::Config, IniKeys::Mission, 0);
}

// The row number a section name stands for: decimal digits without leading
// zeros, below `count`; -1 for any other name.
int MissionIndexOf(const std::string& name, int count) {
  if (name.empty() || name.size() > 10 || (name.size() > 1 && name[0] == '0')) return -1;
  if (!std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return -1;
  int index = 0;
  return ParseInt32(name, index) && index < count ? index : -1;
}

// Stored mission sections below `count`, in increasing order.
std::vector<int> StoredMissionIndices(const IniFile& ini, int count) {
  std::vector<int> indices;
  for (const std::string& name : ini.SectionNames())
    if (const int i = MissionIndexOf(name, count); i >= 0) indices.push_back(i);
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  return indices;
}

// Statuses whose bar the status text alone cannot rebuild: a paused
// mission's, a skipped one's (full) and a failed one's (where it stopped,
// in the failure's colour). Stored under an added key older readers ignore.
bool KeepsStoredProgress(std::string_view status) {
  return status == Status::Paused || status == Status::SkipFileExists ||
         status == Status::SkipFormatOk || Status::IsFailure(status);
}

void LoadMission(const IniFile& ini, MissionModel& missions, int index) {
  const std::string section = std::to_string(index);
  const auto read = [&](std::string_view key) { return ini.ReadString(section, key, ""); };
  const MappedStatus mapped = MapStoredStatus(read(Key::Status));
  const int row = missions.addLsvItem(read(Key::Url), mapped.status, mapped.progress,
                                      read(Key::Size), read(Key::VideoName), read(Key::FileName),
                                      ini.ReadBool(section, Key::DoConvert, false),
                                      read(Key::Format), read(Key::Priority));
  // Only a failure has a reason to show.
  if (std::string reason = read(Key::Reason); !reason.empty() && Status::IsFailure(mapped.status))
    missions.setFailed(row, mapped.status, std::move(reason));
  if (mapped.status == Status::Paused) {
    TLsvData& record = missions.record(row);
    record.resumeStatus = read(Key::Resume) == Status::WaitForConvert
                              ? std::string(Status::WaitForConvert)
                              : std::string(Status::WaitForDownload);
  }
  int percent = 0;
  if (KeepsStoredProgress(mapped.status) && ParseInt32(read(Key::Progress), percent))
    missions.setProgress(row, std::clamp(percent, 0, 100));
}
}  // namespace

MappedStatus MapStoredStatus(std::string_view stored) {
  if (stored == Status::Downloaded || stored == Status::Converted || Status::IsList(stored))
    return {std::string(stored), 100};
  if (Contains(stored, Status::Downloading)) {
    int percent = 0;
    if (!ParseInt32(Trim(CutBetween(stored, "]", "%")), percent)) percent = 0;
    // The bar cannot show more than a full or less than an empty slot.
    return {std::string(Status::WaitForDownload), std::clamp(percent, 0, 100)};
  }
  if (Contains(stored, Status::Converting)) return {std::string(Status::WaitForConvert), 0};
  // The two waiting texts and everything else load unchanged.
  return {std::string(stored), 0};
}

std::string LoadMissionFile(const IniFile& ini, MissionModel& missions,
                            const std::string& defaultOutputDir) {
  std::string output = ini.ReadString(IniKeys::Config, IniKeys::Output, defaultOutputDir);
  const int count = StoredCount(ini);
  if (count < 1) return output;

  // Rows come back in section order. Loading ends after the highest stored
  // section, so a count beyond the file creates no rows of its own.
  int next = 0;
  int emptyRowsLeft = kMaxEmptyRows;
  for (const int index : StoredMissionIndices(ini, count)) {
    for (; next < index && emptyRowsLeft > 0; ++next, --emptyRowsLeft)
      LoadMission(ini, missions, next);
    LoadMission(ini, missions, index);
    next = index + 1;
  }
  return output;
}

void SaveMissionFile(IniFile& ini, const MissionModel& missions, bool portableMode,
                     const std::string& outputDirText) {
  IniFile::Batch batch(ini);
  ini.WriteBool(IniKeys::Config, IniKeys::PortableMode, portableMode);
  ini.WriteString(IniKeys::Config, IniKeys::Output, outputDirText);
  ini.WriteInteger(IniKeys::Config, IniKeys::Mission, missions.count());
  ClearStoredMissions(ini);
  for (int row = 0; row < missions.count(); ++row) {
    const std::string section = std::to_string(row);
    const TLsvData& record = missions.record(row);
    ini.WriteString(section, Key::Url, missions.url(row));
    ini.WriteString(section, Key::Status, missions.status(row));
    ini.WriteString(section, Key::Size, missions.subItem(row, SubSize));
    ini.WriteString(section, Key::VideoName, missions.caption(row));
    ini.WriteString(section, Key::FileName, record.fileName);
    ini.WriteBool(section, Key::DoConvert, record.doConvert);
    ini.WriteString(section, Key::Format, record.format);
    ini.WriteString(section, Key::Priority, record.priority);
    if (!record.reason.empty()) ini.WriteString(section, Key::Reason, record.reason);
    if (missions.status(row) == Status::Paused)
      ini.WriteString(section, Key::Resume, record.resumeStatus);
    if (KeepsStoredProgress(missions.status(row)))
      ini.WriteInteger(section, Key::Progress, record.progress);
  }
  batch.commit();
}

void ClearStoredMissions(IniFile& ini) {
  const int count = StoredCount(ini);
  if (count < 1) return;
  // Erases what exists rather than counting up to a stored count that a
  // damaged file may set to billions.
  IniFile::Batch batch(ini);
  for (const int index : StoredMissionIndices(ini, count)) ini.EraseSection(std::to_string(index));
  batch.commit();
}

}  // namespace quillmarsh
