#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "core/FetchOptions.h"
#include "extractor/ExtractorHome.h"

namespace tarnfetch {

struct UpdateOutcome {
  enum class Result { Installed, Current, Failed, Busy };
  Result result = Result::Failed;
  std::string version;  // installed, or the private copy's when current
  std::string failure;  // why it failed, in words
};

// Brings the private copy up to the release: fetches the release's
// checksums and their signature with tarnfetch's own HTTP code, checks the
// signature with gpgv against the release key, and when the private copy
// differs from the checksum, fetches the extractor, checks its SHA-256,
// has it answer --version with python3 and only then puts it in place of
// the private copy (one rename). A failure changes nothing. One run at a
// time: another that is at it makes this one Busy. The folder must exist
// (TakeTurn makes it). Its requests take the run's options (the proxy). An
// update that takes longer than `limit` fails, as does a release older than
// the private copy.
UpdateOutcome UpdateExtractor(const ExtractorHome& home, const FetchOptions& options,
                              std::chrono::seconds limit);

// The lines of the debug report for an update: what was found before it,
// what it fetched or why it failed.
std::vector<std::string> DescribeUpdate(const UpdateOutcome& outcome, const std::string& found);

}  // namespace tarnfetch
