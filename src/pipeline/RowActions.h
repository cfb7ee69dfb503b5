#pragma once
// What the row menu offers for a mission, decided without widgets.
// User-interface thread only.

#include <string>

#include "missions/MissionModel.h"
#include "missions/PipelineState.h"

namespace quillmarsh {

// The file a mission's "Open file" opens: the converted file once the
// conversion is done, else the downloaded one; empty when that file is not
// on disk (yet, or any more).
std::string FileToOpen(const MissionModel& missions, int row);

// At start-up: a "[Converted]" mission whose converted file is not on disk
// (a close or crash came between ffmpeg's end and the rename, or the file
// was removed since) waits for conversion again. Returns how many.
int ConvertAgainWhereFileIsMissing(MissionModel& missions);

// True while a worker for the row has not ended: listed, or taken off its
// list by Stop or Pause but still ending its program.
bool WorkerOfRowRuns(const PipelineState& pipeline, int row);

// Retry applies to a failed mission, and to a waiting one while nothing is
// being worked on (Busy clear: after Stop); it never moves a row, and it
// waits until the row's worker has ended, so that no second one starts.
bool RetryApplies(const MissionModel& missions, const PipelineState& pipeline, int row);
// Puts the row back to waiting ("[Error in download]" waits for download,
// "[Error in convert]" for conversion); true when the row applies.
bool RetryRow(MissionModel& missions, const PipelineState& pipeline, int row);

}  // namespace quillmarsh
