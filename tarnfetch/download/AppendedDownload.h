#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/FetchOptions.h"
#include "http/Validators.h"

namespace tarnfetch {

class ControlFile;
class PartFile;
class ProgressReporter;
class StopFlag;

// Fetches a file over one connection into its ".part", from the start or
// after what an earlier run left there, as a one-part job of the transfer
// engine: a reset or stall is tried again from the last byte written, under
// the rules every part follows (Retry-After, the answer check, the stall
// rule). The control file records the answer's validators; the ".part"'s
// size says what has arrived.
class AppendedDownload {
 public:
  enum class Outcome { Complete, StartAgain };  // StartAgain: the server now sends another file

  AppendedDownload(PartFile& part, ControlFile& control, ProgressReporter& progress,
                   const FetchOptions& options)
      : part_(part), control_(control), progress_(progress), options_(options) {}

  // Run ends with FetchError soon after stop is raised.
  void SetStopFlag(const StopFlag* stop) { stop_ = stop; }

  // offset: the bytes of the ".part" to continue, which came with earlier
  // (the earlier run's validators, sent as If-Range); 0: from the start.
  // referrerPage: the page that named the file. Throws FetchError, the
  // ".part" kept.
  Outcome Run(const std::string& url, const Validators& probed, std::uint64_t offset,
              const Validators& earlier, const std::string& referrerPage,
              std::vector<std::string> headers);

 private:
  PartFile& part_;
  ControlFile& control_;
  ProgressReporter& progress_;
  const FetchOptions& options_;
  const StopFlag* stop_ = nullptr;
};

}  // namespace tarnfetch
