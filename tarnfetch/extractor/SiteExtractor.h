#pragma once

#include <string>

namespace tarnfetch {

// The site extractor, yt-dlp, when it is installed: next to this program,
// else on PATH. Empty when there is none.
std::string FindSiteExtractor();

// Asks the extractor about the page at url for the JSON that describes its
// video: `yt-dlp --no-config --no-playlist --no-warnings -J -- url`, as an
// argument vector, in its own process group, with no input. Returns its
// answer. Throws FetchError with the extractor's own message when it
// fails, and when it runs longer than kSeconds or answers more than
// kMaxAnswerBytes.
struct SiteExtractor {
  static constexpr int kSeconds = 60;
  static constexpr std::size_t kMaxAnswerBytes = 64u << 20;
};
std::string AskSiteExtractor(const std::string& program, const std::string& url);

}  // namespace tarnfetch
