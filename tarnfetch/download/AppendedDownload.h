#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "download/FileJob.h"
#include "http/Validators.h"

namespace tarnfetch {

// Fetches a file over one connection into its ".part", from the start or
// after what an earlier run left there, as a one-part job of the transfer
// engine: a reset or stall is tried again from the last byte written, under
// the rules every part follows (Retry-After, the answer check, the stall
// rule). The control file records the answer's validators; the ".part"'s
// size says what has arrived.
class AppendedDownload {
 public:
  enum class Outcome { Complete, StartAgain };  // StartAgain: the server now sends another file

  explicit AppendedDownload(const FileJob& job) : job_(job) {}

  // offset: the bytes of the ".part" to continue, which came with earlier
  // (the earlier run's validators, sent as If-Range); 0: from the start.
  // referrerPage: the page that named the file. Throws FetchError, the
  // ".part" kept.
  Outcome Run(const std::string& url, const Validators& probed, std::uint64_t offset,
              const Validators& earlier, const std::string& referrerPage,
              std::vector<std::string> headers);

 private:
  FileJob job_;
};

}  // namespace tarnfetch
