#pragma once
// What a download found when its address was a list of videos (a playlist,
// a channel, an album): the videos, to be added as missions of their own
// with the list mission's conversion choices. Handed from the download
// worker to the host by value.

#include <string>
#include <vector>

namespace quillmarsh {

struct ListedVideo {
  std::string url;
  std::string title;  // may be empty
};

struct FoundList {
  std::string listUrl;
  std::vector<ListedVideo> videos;
  int skipped = 0;   // entries without a web address, left out
  bool cut = false;  // the list went on beyond what was read
  bool doConvert = false;
  std::string format;
  std::string priority;
};

}  // namespace quillmarsh
