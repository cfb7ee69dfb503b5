#pragma once
// The settings and mission file: section "Config" with the program's few
// settings, and one section per mission named by its row number ("0",
// "1", ...). Loaded once at start-up, written back whole on every save.

#include <cstdint>
#include <string>
#include <string_view>

#include "missions/MissionModel.h"
#include "shared/IniFile.h"
#include "shared/ProgramVocabulary.h"

namespace quillmarsh {

// A stored status as the loaded row shows it: interrupted work waits again.
struct MappedStatus {
  std::string status;
  std::int32_t progress = 0;
};
MappedStatus MapStoredStatus(std::string_view stored);

// Appends the stored missions to `missions` and returns the "Output" text
// (`defaultOutputDir` when there is none).
std::string LoadMissionFile(const IniFile& ini, MissionModel& missions,
                            const std::string& defaultOutputDir);

// Writes the settings and every row in one file update. Throws
// IniWriteError when the file cannot be written; it then stays as it was.
void SaveMissionFile(IniFile& ini, const MissionModel& missions, bool portableMode,
                     const std::string& outputDirText);

// Erases the mission sections below the stored count; the count stays.
// Throws IniWriteError like SaveMissionFile.
void ClearStoredMissions(IniFile& ini);

}  // namespace quillmarsh
