#include "app/FetchJob.h"

#include <unistd.h>

#include <climits>

#include "app/MediaSearch.h"
#include "core/FetchError.h"
#include "download/MediaPlan.h"
#include "extractor/ExtractorFallback.h"
#include "http/Url.h"
#include "report/Console.h"

namespace tarnfetch {
namespace {

// The paths we print must be the paths on disk. The markers cannot carry
// "<" (it could close or open a tag), control characters or invalid UTF-8,
// so a template or current folder holding them is refused before anything
// is fetched. The title and extension are made safe on their own.
void RefuseUnprintablePaths(const std::string& pathTemplate) {
  std::string folder;
  if (pathTemplate.front() != '/') {
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer) != nullptr) folder = buffer;
  }
  for (const std::string& path : {folder, pathTemplate}) {
    if (MarkerSafe(path) != path) {
      throw FetchError(
          "The output path holds \"<\", a control character or bytes that are not UTF-8, which "
          "the progress lines cannot show: " +
          path);
    }
  }
}

}  // namespace

void RunFetchJob(const FetchOptions& options) {
  console::Go();
  const std::string address = CheckUserUrl(options.url);
  RefuseUnprintablePaths(options.pathTemplate);
  // Find, then fetch: the page search, else the site extractor, settles a
  // plan; fetching it names the file.
  MediaPlan plan;
  try {
    plan = FindMedia(address, options);
  } catch (const NoVideoOnPage& failure) {
    plan = PlanWithSiteExtractor(address, failure.what(), options);
  }
  FetchPlan(plan, options);
}

}  // namespace tarnfetch
