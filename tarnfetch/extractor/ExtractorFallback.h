#pragma once

#include <string>

#include "core/FetchOptions.h"
#include "download/MediaPlan.h"

namespace tarnfetch {

// For a page on which tarnfetch found no video itself (pageProblem says
// why): asks the site extractor (ChooseExtractor) and returns the plan of
// what it chooses. When the extractor says it does not know the site or
// could not read it, a current release is fetched at once (at most once an
// hour) and asked once more; otherwise the daily check is started in the
// background. Throws FetchError: without the extractor, pageProblem and
// that installing yt-dlp lets such sites work; when the extractor finds
// nothing either, pageProblem and the extractor's own message, and whether
// it is outdated or could not be updated, and what tarnfetch does about it.
MediaPlan PlanWithSiteExtractor(const std::string& pageUrl, const std::string& pageProblem,
                                const FetchOptions& options);

}  // namespace tarnfetch
