#pragma once
// Choosing the missions to download and starting their workers. Runs on the
// user-interface thread only; the main window's StartDownload calls it, and
// workers reach it through their hand-overs.

#include <string>
#include <vector>

#include "missions/MissionHost.h"
#include "missions/MissionModel.h"

// Row of the first mission whose status is exactly "[Wait for download]", or -1.
int GetNextDownUrl(const MissionModel& missions);

// Clears Stopping, sets Busy, sets the buttons, saves the settings (an
// IniWriteError escapes, and then nothing is started), then starts a
// download worker per waiting mission, in list order, while fewer slots are
// taken than host.DownloadLimit(). No worker starts before the worker lists
// exist (PipelineState::WorkerListsCreated).
void StartDownload(MissionHost& host);

// What the downloader gets for `url`: its path in the application folder,
// the URL as one argument (even when it begins with "-"), "-p" and the
// output path template.
std::vector<std::string> DownloaderArguments(const std::string& url);
// The same as one line of text, for the report.
std::string DownloaderCommandLine(const std::string& url);
