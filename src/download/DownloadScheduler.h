#pragma once
// Choosing the missions to download and starting their workers. Runs on the
// user-interface thread only; the host's StartDownload calls it, and
// workers reach it through their hand-overs.

#include <string>
#include <vector>

#include "missions/MissionHost.h"
#include "missions/MissionModel.h"

namespace quillmarsh {

// Row of the first mission whose status is exactly "[Wait for download]",
// passing over those that wait to be tried again later; -1 when none.
int GetNextDownUrl(const MissionModel& missions);

// Clears Stopping, sets Busy, sets the buttons, saves the settings (an
// IniWriteError escapes, and then nothing is started), then starts a
// download worker per waiting mission, in list order, while fewer slots are
// taken than host.DownloadLimit(). No worker starts before the worker lists
// exist (PipelineState::WorkerListsCreated).
void StartWaitingDownloads(MissionHost& host);

// What the downloader gets for `url`: its path in the host's program
// folder, the URL as one argument (even when it begins with "-"), "-p" and
// the output path template in the host's output folder, and
// "--limit-rate" with the host's speed limit in bytes a second when it has
// one (a SpeedLimit that is not a speed is left out).
std::vector<std::string> DownloaderArguments(const MissionHost& host, const std::string& url);
// The same as one line of text, for the report.
std::string DownloaderCommandLine(const MissionHost& host, const std::string& url);

}  // namespace quillmarsh
