#pragma once

#include <string>

namespace tarnfetch {

// For a page on which tarnfetch found no video itself (pageProblem says
// why): asks the site extractor, when installed, and downloads what it
// chooses. Throws FetchError: without the extractor, pageProblem and that
// installing yt-dlp lets such sites work; when the extractor finds nothing
// either, pageProblem and the extractor's own message.
void FetchWithSiteExtractor(const std::string& pageUrl, const std::string& pathTemplate,
                            const std::string& pageProblem, int connections);

}  // namespace tarnfetch
