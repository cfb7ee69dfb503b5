#include "download/DashPeriodJoin.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/FetchError.h"
#include "download/DashManifest.h"

namespace tarnfetch {
namespace {

// A segment's worth at either end, or a hundredth of a long whole.
constexpr double kLeewaySeconds = 1.0;
constexpr double kLeewayShare = 0.01;

std::string Seconds(double value) {
  char text[48];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

}  // namespace

double PeriodShiftSeconds(const DashPeriod& period, const DashRepresentation& representation) {
  const DashSegmentInfo& info = representation.segments;
  const double offset = static_cast<double>(info.presentationTimeOffset.value_or(0)) /
                        static_cast<double>(info.timescale.value_or(1));
  return period.start.value_or(0) - offset;
}

bool JoinedDurationAgrees(double joined, double declared) {
  if (!std::isfinite(joined) || !std::isfinite(declared)) return false;
  return std::fabs(joined - declared) <= std::max(kLeewaySeconds, declared * kLeewayShare);
}

void ProveJoinedDuration(std::optional<double> joined, double declared, const std::string& url) {
  if (!joined) {
    throw FetchError(
        "The length of the joined periods could not be read, so it cannot be checked "
        "against the manifest's; the downloaded parts are kept: " +
        url);
  }
  if (!JoinedDurationAgrees(*joined, declared)) {
    throw FetchError("The joined periods last " + Seconds(*joined) + " seconds, not the " +
                     Seconds(declared) +
                     " seconds the manifest gives; nothing was written and the downloaded parts "
                     "are kept: " +
                     url);
  }
}

}  // namespace tarnfetch
