#pragma once
// What Stop and closing do to the workers of both pipelines. The main
// window, the tests and the benchmarks all stop through this one function.
// User-interface thread only.

#include "missions/MissionHost.h"

namespace quillmarsh {

// Sets Stopping (it stays set until the next StartWaitingDownloads), then
// takes every worker off its list, last first: ends its child, drops its
// later hand-overs and gives up its slot; its row's Speed and ETA empty and
// the row waits again (a download's row unless its download had finished,
// a conversion's row for conversion, also after a 100 % report, since its
// file appears only once ffmpeg has ended well). Any other row still showing
// "[Downloading]" or "[Converting]" waits again too; a row waiting to be
// tried again waits as usual. Clears both counters and Busy.
void StopAll(MissionHost& host);

}  // namespace quillmarsh
