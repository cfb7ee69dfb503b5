#pragma once
// Pausing one mission while the others go on, and resuming it.
// User-interface thread only.

#include <string_view>

#include "missions/MissionHost.h"

namespace quillmarsh {

// The waiting status a paused mission goes back to: "[Wait for download]"
// while its download waits or runs, "[Wait for convert]" while its
// conversion does (a finished download that asks for one included); empty
// when the mission has nothing left to pause.
std::string_view ResumeStatusOf(std::string_view status, bool doConvert);

// Pause applies to a row with a download or conversion waiting or running.
bool PauseApplies(const MissionModel& missions, int row);
// Pauses the row: ends its downloader or ffmpeg (what they wrote stays on
// disk), gives its slot back, shows "[Paused]" with the bar where it was.
// Returns whether a slot was freed: the caller then starts what the
// limits allow. Does nothing for a row that cannot pause.
bool PauseRow(MissionHost& host, int row);

// Resume applies to a paused row once its worker has ended.
bool ResumeApplies(const MissionModel& missions, const PipelineState& pipeline, int row);
// Puts the row back to the waiting status it paused from; the caller then
// starts what the limits allow. False when Resume does not apply.
bool ResumeRow(MissionModel& missions, const PipelineState& pipeline, int row);

}  // namespace quillmarsh
