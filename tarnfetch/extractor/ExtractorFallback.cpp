#include "extractor/ExtractorFallback.h"

#include "core/FetchError.h"
#include "extractor/ExtractedDownload.h"
#include "extractor/ExtractorAnswer.h"
#include "extractor/SiteExtractor.h"

namespace tarnfetch {

void FetchWithSiteExtractor(const std::string& pageUrl, const std::string& pathTemplate,
                            const std::string& pageProblem, int connections) {
  const std::string extractor = FindSiteExtractor();
  if (extractor.empty()) {
    throw FetchError(pageProblem +
                     ". Installing yt-dlp (the site extractor) lets tarnfetch fetch the videos of "
                     "sites like this one.");
  }
  ExtractorAnswer answer;
  try {
    answer = AskSiteExtractor({extractor}, pageUrl);
  } catch (const FetchError& failure) {
    throw FetchError(pageProblem + ". " + failure.what());
  }
  DownloadExtracted(answer, pathTemplate, connections);
}

}  // namespace tarnfetch
