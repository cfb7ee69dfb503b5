#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "extractor/ExtractorChoice.h"
#include "extractor/ExtractorHome.h"
#include "extractor/ExtractorUpdate.h"

namespace tarnfetch {

// `tarnfetch --update-extractor`: at most once a day (a stamp in the
// folder), and only when UpdateSiteExtractor is not 0, updates the private
// copy and writes what it found, fetched or why it failed to the report
// file. Returns those lines; `failed` says whether the update failed.
std::vector<std::string> RunDailyCheck(const ExtractorHome& home, const FetchOptions& options,
                                       bool& failed);

// Starts `tarnfetch --update-extractor` (with the run's --proxy) on its
// own, so that the check never holds up a download or the end of this run.
void StartDailyCheck(const ExtractorHome& home, const FetchOptions& options);

// Updates the private copy and replaces the report file with what was
// `found` before (described), what happened and what is used now. The
// update gives up after `limit`.
struct ReportedUpdate {
  UpdateOutcome outcome;
  std::optional<ExtractorProgram> used;
  std::vector<std::string> lines;
};
ReportedUpdate UpdateAndReport(const ExtractorHome& home, const std::string& found,
                               const FetchOptions& options, std::chrono::seconds limit);

}  // namespace tarnfetch
