#include "missions/UrlBatch.h"

#include <unordered_set>

#include "missions/UrlImport.h"

namespace quillmarsh {

UrlBatch SortOutNewUrls(const MissionModel& missions, const std::vector<std::string>& urls) {
  UrlBatch batch;
  std::unordered_set<std::string> seen;
  for (const std::string& url : urls) {
    if (missions.urlExists(url) || !seen.insert(url).second) {
      ++batch.refused;
      continue;
    }
    batch.fresh.push_back(url);
  }
  return batch;
}

bool IsUrlBatch(std::string_view text) {
  return UrlsFromText(text).size() > 1;
}

}  // namespace quillmarsh
