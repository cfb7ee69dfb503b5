#pragma once

#include <string>
#include <vector>

#include "extractor/ExtractorHome.h"

namespace tarnfetch {

// `tarnfetch --update-extractor`: at most once a day (a stamp in the
// folder), and only when UpdateSiteExtractor is not 0, updates the private
// copy and writes what it found, fetched or why it failed to the report
// file. Returns those lines; `failed` says whether the update failed.
std::vector<std::string> RunDailyCheck(const ExtractorHome& home, bool& failed);

// Starts `tarnfetch --update-extractor` on its own, so that the check
// never holds up a download or the end of this run.
void StartDailyCheck(const ExtractorHome& home);

// Replaces the report file with these lines.
void WriteUpdateReport(const ExtractorHome& home, const std::vector<std::string>& lines);

}  // namespace tarnfetch
