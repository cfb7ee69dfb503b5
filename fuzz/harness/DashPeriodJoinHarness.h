#pragma once
// tarnfetch's joining of DASH periods from an untrusted server. The input is
// a manifest, then (after a zero byte) the fragmented MP4 bytes its tracks
// bring. Each period's shift is finite and begins inside its track; the
// declared length is finite and a join of half of it (periods squeezed
// together) is refused; moving the fragments' times changes no length and
// does not depend on how the bytes are cut.

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "core/FetchError.h"
#include "download/DashManifest.h"
#include "download/DashPeriodJoin.h"
#include "download/DashTracks.h"
#include "download/FragmentRetimer.h"
#include "download/HlsPlaylist.h"

namespace fuzz {

// The shifts of a track: in order, inside the playlist, finite.
inline void CheckShifts(const tarnfetch::DashTrack& track) {
  const tarnfetch::HlsPlaylist list{track.playlist, track.url};
  std::size_t before = 0;
  for (const tarnfetch::PeriodShift& shift : track.shifts) {
    FUZZ_CHECK(std::isfinite(shift.seconds));
    FUZZ_CHECK(shift.firstSegment >= before && shift.firstSegment <= list.Segments().size());
    before = shift.firstSegment;
  }
}

inline void CheckDeclared(double declared, const std::string& url) {
  FUZZ_CHECK(std::isfinite(declared) && declared >= 0);
  FUZZ_CHECK(tarnfetch::JoinedDurationAgrees(declared, declared));
  bool refused = false;
  try {
    tarnfetch::ProveJoinedDuration(declared / 2, declared, url);
  } catch (const tarnfetch::FetchError&) {
    refused = true;
  }
  FUZZ_CHECK(refused == (declared / 2 > 1.0));
}

// The media through a retimer in one piece and in pieces of `step` bytes
// (flushed as at segment ends when `flush`): the same length either way,
// and the same bytes when nothing is flushed.
inline std::string Retimed(std::string_view media, const std::vector<double>& shifts,
                           std::size_t step, bool flush) {
  tarnfetch::FragmentRetimer retimer;
  std::string out;
  const auto keep = [&out](const char* data, std::size_t size) { out.append(data, size); };
  std::size_t period = 0;
  for (std::size_t at = 0; at < media.size(); at += step) {
    retimer.Shift(shifts[period++ % shifts.size()]);
    retimer.Feed(media.substr(at, step), keep);
    if (flush) retimer.Flush(keep);
  }
  retimer.Flush(keep);
  tarnfetch::FragmentRetimer restored;
  restored.Restore(retimer.Timescales());
  FUZZ_CHECK(restored.Timescales() == retimer.Timescales());
  return out;
}

inline void RunDashPeriodJoin(std::string_view data) {
  const std::string url = "https://media.example.test/show/7/manifest.mpd";
  const std::size_t zero = data.find('\0');
  const std::string_view text = data.substr(0, zero);
  const std::string_view media = zero == std::string_view::npos ? "" : data.substr(zero + 1);
  std::vector<double> shifts;
  try {
    const tarnfetch::DashManifest manifest(text, url);
    if (const auto declared = manifest.Declared()) CheckDeclared(*declared, url);
    const tarnfetch::DashTracks tracks = ChooseDashTracks(manifest);
    CheckShifts(tracks.picture);
    if (tracks.sound) CheckShifts(*tracks.sound);
    for (const auto& shift : tracks.picture.shifts) shifts.push_back(shift.seconds);
  } catch (const tarnfetch::FetchError&) {
    // Refused with a reason: what a hostile manifest should get.
  }
  if (media.empty()) return;
  if (shifts.empty()) shifts = {0, 6.0, -2.5};
  const std::string whole = Retimed(media, shifts, media.size(), false);
  FUZZ_CHECK(whole.size() == media.size());
  FUZZ_CHECK(Retimed(media, {0}, 97, false) == media);
  FUZZ_CHECK(Retimed(media, {shifts.back()}, 97, false) ==
             Retimed(media, {shifts.back()}, 1, false));
  FUZZ_CHECK(Retimed(media, shifts, 97, true).size() == media.size());
}

}  // namespace fuzz
