#include "missions/UrlBatch.h"

#include <unordered_set>

#include "missions/UrlImport.h"

namespace quillmarsh {

UrlBatch SortOutNewUrls(const MissionModel& missions, const std::vector<std::string>& urls,
                        const std::function<bool(const std::string&)>& downloadedBefore) {
  UrlBatch batch;
  // One pass over the list, not one per address: lists may be long.
  std::unordered_set<std::string> seen;
  for (int row = 0; row < missions.count(); ++row) seen.insert(missions.url(row));
  for (const std::string& url : urls) {
    if (!seen.insert(url).second) {
      ++batch.refused;
    } else if (downloadedBefore && downloadedBefore(url)) {
      ++batch.downloadedBefore;
    } else {
      batch.fresh.push_back(url);
    }
  }
  return batch;
}

std::string PassedOverMessage(const UrlBatch& batch) {
  std::string message;
  if (batch.refused == 1) message = "This URL has already been added.";
  if (batch.refused > 1)
    message = std::to_string(batch.refused) + " of these URLs have already been added.";
  if (batch.downloadedBefore > 0 && !message.empty()) message += ' ';
  if (batch.downloadedBefore == 1) message += "1 video was downloaded before and was passed over.";
  if (batch.downloadedBefore > 1)
    message += std::to_string(batch.downloadedBefore) +
               " videos were downloaded before and were passed over.";
  return message;
}

bool IsUrlBatch(std::string_view text) {
  return UrlsFromText(text).size() > 1;
}

}  // namespace quillmarsh
