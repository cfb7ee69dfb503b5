#pragma once
// What the row menu offers for a mission, decided without widgets.
// User-interface thread only.

#include <string>

#include "missions/MissionModel.h"

namespace quillmarsh {

// The file a mission's "Open file" opens: the converted file once the
// conversion is done, else the downloaded one; empty when that file is not
// on disk (yet, or any more).
std::string FileToOpen(const MissionModel& missions, int row);

// Retry applies to a failed mission, and to a waiting one while nothing is
// being worked on (`busy` clear: after Stop); it never moves a row.
bool RetryApplies(const std::string& status, bool busy);
// Puts the row back to waiting ("[Error in download]" waits for download,
// "[Error in convert]" for conversion); true when the row applies.
bool RetryRow(MissionModel& missions, int row, bool busy);

}  // namespace quillmarsh
