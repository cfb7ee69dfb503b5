#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "StreamHeaders.h"

namespace tarnfetch {

class ControlFile;
class HlsPlaylist;
class OutputFolder;
class PartFile;
class StreamProgress;

// Fetches the segments of a media playlist, up to eight at a time, and
// writes them in order into the ".part" (initialisation sections before
// the segments that need them, AES-128 segments decrypted). The control
// file records the segments written, so that a killed run continues after
// the last of them, provided the playlist lists the same segments.
class HlsDownload {
 public:
  static constexpr int kParallel = 8;

  HlsDownload(const HlsPlaylist& playlist, const OutputFolder& folder, StreamHeaders headers)
      : playlist_(playlist), folder_(folder), headers_(std::move(headers)) {}

  // Returns the size of the complete ".part". Throws FetchError; what was
  // written stays, recorded, for the next run.
  std::uint64_t Run(PartFile& part, ControlFile& control, StreamProgress& progress);

 private:
  const HlsPlaylist& playlist_;
  const OutputFolder& folder_;
  StreamHeaders headers_;
};

}  // namespace tarnfetch
