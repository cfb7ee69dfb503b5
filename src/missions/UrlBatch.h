#pragma once
// Several addresses added at once (pasted, dropped, a dropped text file):
// one mission per line as the file import reads them, but an address that
// is already in the list, or earlier in the same text, is refused.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "missions/MissionModel.h"

namespace quillmarsh {

struct UrlBatch {
  std::vector<std::string> fresh;  // in text order, each once
  int refused = 0;                 // lines whose address was already there
  int downloadedBefore = 0;        // addresses passed over for the history
};

// `downloadedBefore` (optional) says which addresses to pass over because
// they were downloaded before and their file is still there.
UrlBatch SortOutNewUrls(const MissionModel& missions, const std::vector<std::string>& urls,
                        const std::function<bool(const std::string&)>& downloadedBefore = {});

// The one message that says what a batch passed over; empty when nothing.
std::string PassedOverMessage(const UrlBatch& batch);

// True when the text holds more than one non-blank line: it is then a
// batch, otherwise a single address that the URL box takes as it is.
bool IsUrlBatch(std::string_view text);

}  // namespace quillmarsh
