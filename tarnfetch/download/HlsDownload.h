#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/FetchOptions.h"
#include "download/DashPeriodJoin.h"
#include "http/StreamHeaders.h"

namespace tarnfetch {

class ControlFile;
class HlsPlaylist;
class OutputFolder;
class PartFile;
class StreamProgress;

// One media playlist, the headers its requests carry, and the ".part" and
// control file it is written to; for pieces whose clocks start again (DASH
// periods), where each begins and how far its fragments' times move.
struct HlsTrack {
  const HlsPlaylist& playlist;
  const StreamHeaders& headers;
  PartFile& part;
  ControlFile& control;
  std::vector<PeriodShift> shifts = {};
};

// Fetches the segments of media playlists (a picture and its separate
// sound, say) at the same time, from ConnectionPlan::kFirstSegments segments at a time in
// all up to as many as raise the segments a second (ConnectionPlan; the
// count that worked is remembered per server by HostMemory), and writes
// each playlist's in order into its ".part" (initialisation sections before
// the segments that need them, AES-128 segments decrypted). Each control
// file records the segments written, so that a killed run continues after
// the last of them, provided the playlist lists the same segments.
class HlsDownload {
 public:
  // Under the options' speed limit the count does not grow.
  HlsDownload(const OutputFolder& folder, const FetchOptions& options)
      : folder_(folder), options_(options) {}

  // Reports one progress line across all tracks. Throws FetchError; what
  // was written stays, recorded, for the next run.
  void Run(const std::vector<HlsTrack>& tracks, StreamProgress& progress);

 private:
  const OutputFolder& folder_;
  const FetchOptions& options_;
};

}  // namespace tarnfetch
