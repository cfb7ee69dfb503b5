#pragma once

#include "download/MediaPlan.h"
#include "extractor/ExtractorAnswer.h"

namespace tarnfetch {

// What the site extractor chose, as a plan: its title and its format, or
// its picture and sound formats, each with the headers it gave (their
// credentials kept to the format's own origin). A stream format stays a
// stream; a file is looked at when it is fetched, as it may prove to be one.
MediaPlan PlanOf(const ExtractorAnswer& answer);

}  // namespace tarnfetch
