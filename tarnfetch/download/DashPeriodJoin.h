#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tarnfetch {

struct DashPeriod;
struct DashRepresentation;

// Where one period of a track begins in the track's playlist, and the
// seconds its media times move by to land at the period's start in the
// joined file.
struct PeriodShift {
  std::size_t firstSegment = 0;
  double seconds = 0;
};

// The period's start less the representation's presentationTimeOffset:
// media time PTO plays at the period's start.
double PeriodShiftSeconds(const DashPeriod& period, const DashRepresentation& representation);

// Whether a joined file of `joined` seconds is the `declared` length a
// manifest gives, within what segment edges and sound priming account for.
bool JoinedDurationAgrees(double joined, double declared);

// Throws FetchError unless the joined file is known to last as long as the
// manifest at `url` declares.
void ProveJoinedDuration(std::optional<double> joined, double declared, const std::string& url);

}  // namespace tarnfetch
