#pragma once
// tarnfetch's reading of a DASH manifest from an untrusted server. The input
// is the manifest. Whatever it accepts becomes media playlists that the
// stream path accepts in turn, naming only http or https addresses.

#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "HlsPlaylistHarness.h"
#include "core/FetchError.h"
#include "download/DashManifest.h"
#include "download/DashTracks.h"

namespace fuzz {

inline void CheckTrack(const tarnfetch::DashTrack& track) {
  FUZZ_CHECK(IsWebAddress(track.url));
  const tarnfetch::HlsPlaylist list{track.playlist, track.url};
  FUZZ_CHECK(!list.IsMaster() && !list.Segments().empty());
  for (const tarnfetch::HlsSegment& segment : list.Segments()) {
    FUZZ_CHECK(IsWebAddress(list.Resolve(segment.uri)));
  }
}

inline void RunDashManifest(std::string_view data) {
  const std::string url = "https://media.example.test/show/7/manifest.mpd?token=a";
  try {
    const tarnfetch::DashTracks tracks = ChooseDashTracks(tarnfetch::DashManifest(data, url));
    CheckTrack(tracks.picture);
    if (tracks.sound) CheckTrack(*tracks.sound);
  } catch (const tarnfetch::FetchError&) {
    // Refused with a reason: what a hostile manifest should get.
  }
}

}  // namespace fuzz
