#pragma once
// Choosing the missions to convert and starting their workers. Runs on the
// user-interface thread only; the host's StartConvert calls it.

#include "missions/MissionHost.h"
#include "missions/MissionModel.h"

namespace quillmarsh {

// Row of the first mission that waits for conversion and asks for it, or -1.
int GetNextConvertUrl(const MissionModel& missions);

// Starts conversions in list order while fewer run than host.ConvertLimit()
// (read before each start). A file that already has the target extension is
// marked "[Skip] format ok" when the format only sets the container or the
// audio; for a device format its worker asks ffprobe first and skips only a
// file that already fits. A format missing from the table is marked
// "[Error in convert]" without a child. Neither of those takes a slot.
void StartWaitingConversions(MissionHost& host);

}  // namespace quillmarsh
