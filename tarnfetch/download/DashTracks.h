#pragma once

#include <optional>
#include <string>
#include <vector>

#include "download/DashPeriodJoin.h"

namespace tarnfetch {

class DashManifest;

// One chosen representation (across the periods, in order), written as an
// HLS media playlist so that the stream path fetches, resumes and joins it
// as it does HLS: segments relative to `url`, initialisation sections as
// EXT-X-MAP, byte ranges as EXT-X-BYTERANGE.
struct DashTrack {
  std::string playlist;
  std::string url;
  std::string codecs;
  // Where each period begins on the joined clock; empty for one period.
  std::vector<PeriodShift> shifts;
};

struct DashTracks {
  DashTrack picture;  // the sound alone when the manifest has no picture
  std::optional<DashTrack> sound;
};

// The picture with the highest bandwidth (ties: the larger picture) and the
// sound with the highest bandwidth (preferring the main role, then the
// first language listed); subtitles and trick-play sets are passed over.
// Throws FetchError when the chosen sets are protected (DRM), when a
// period lacks what the others give, or when segments cannot be listed.
DashTracks ChooseDashTracks(const DashManifest& manifest);

}  // namespace tarnfetch
