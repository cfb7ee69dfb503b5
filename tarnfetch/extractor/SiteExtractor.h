#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/FetchError.h"
#include "core/FetchOptions.h"
#include "extractor/ExtractorAnswer.h"

namespace tarnfetch {

// The site extractor, yt-dlp, when it is installed: next to this program,
// else on PATH. Empty when there is none.
std::string FindSiteExtractor();

struct SiteExtractor {
  static constexpr int kSeconds = 60;
  static constexpr std::size_t kMaxAnswerBytes = 64u << 20;
  static constexpr std::size_t kAddressSpaceBytes = std::size_t{1} << 30;
  // Only formats tarnfetch can fetch: direct http(s) files first, then HLS;
  // never DASH or other protocols. Nothing fetchable: the extractor says so.
  static constexpr const char* kFormatChoice =
      "bv*[protocol^=http][protocol!*=dash]+ba[protocol^=http][protocol!*=dash]"
      "/b[protocol^=http][protocol!*=dash]"
      "/bv*[protocol^=m3u8]+ba[protocol^=m3u8]/b[protocol^=m3u8]"
      "/bv*[protocol=http_dash_segments]+ba[protocol=http_dash_segments]"
      "/b[protocol=http_dash_segments]";
};

// The extractor ran and found no video; its own last message says why.
class ExtractorRefusal : public FetchError {
 public:
  ExtractorRefusal(const std::string& message, bool siteChanged)
      : FetchError(message), siteChanged_(siteChanged) {}
  // It does not know the site, or could not read its page: a newer release
  // may.
  bool SiteChanged() const { return siteChanged_; }

 private:
  bool siteChanged_;
};

// Asks the extractor about the page at url for the JSON that describes its
// video: `command --no-config --no-playlist --flat-playlist --no-warnings
// -f kFormatChoice -J [--proxy PROXY] [--cookies FILE] -- url` (the run's
// proxy, when it has one; FILE: the run's cookies of the page's site,
// removed once it has answered; flat: a channel of thousands of videos
// answers in seconds, each entry naming only its page and title), command
// being the program (with
// its interpreter and options when it has them), as an argument vector, in tarnfetch's process
// group, with no input and an address space of kAddressSpaceBytes. Its answer goes into a temporary
// file and is read from there once it has exited. Throws ExtractorRefusal with the extractor's own
// message when it fails, FetchError when it runs out of memory, runs longer than kSeconds or
// answers more than kMaxAnswerBytes, or when the answer cannot be used.
ExtractorAnswer AskSiteExtractor(const std::vector<std::string>& command, const std::string& url,
                                 const FetchOptions& options);

}  // namespace tarnfetch
