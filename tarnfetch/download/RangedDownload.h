#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "download/FileJob.h"
#include "http/Validators.h"

namespace tarnfetch {

class ConnectionPlan;

// Fetches a file of known length in parts, over as many connections at
// once as the plan says, each writing at its offset in the one sparse
// ".part". A connection that has nothing left to fetch takes over the
// second half of the part with the most time left. The control file records the finished ranges (at
// least once a second) and the answer's validators, so that a killed run fetches only what is
// missing. Each part is retried by the transfer engine; one that keeps failing ends the download
// with FetchError, the ".part" kept.
class RangedDownload {
 public:
  enum class Outcome {
    Complete,
    NoRanges,    // the server sends whole files only: use one connection
    StartAgain,  // the server now sends another file
  };

  explicit RangedDownload(const FileJob& job) : job_(job) {}

  // resume: continue the ranges the control file records (the caller has
  // checked it belongs to this file); else start from nothing. headers
  // ("Name: value") go on every request.
  Outcome Run(const std::string& url, const Validators& probed, ConnectionPlan& plan, bool resume,
              std::vector<std::string> headers);

 private:
  FileJob job_;
};

}  // namespace tarnfetch
