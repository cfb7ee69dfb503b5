#include "extractor/SiteExtractor.h"

#include "core/ChildProgram.h"
#include "core/FetchError.h"

namespace tarnfetch {
namespace {

// What is kept of the extractor's messages for the error line.
constexpr std::size_t kMessageBytes = 4096;
// Its own message: the last line that says "ERROR:", else its last line.
std::string ExtractorMessage(const std::string& errors) {
  std::string last;
  std::string lastError;
  std::size_t start = 0;
  while (start < errors.size()) {
    std::size_t end = errors.find('\n', start);
    if (end == std::string::npos) end = errors.size();
    std::string line = errors.substr(start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty()) last = line;
    if (line.rfind("ERROR: ", 0) == 0) lastError = line.substr(7);
    start = end + 1;
  }
  return lastError.empty() ? last : lastError;
}

}  // namespace

std::string FindSiteExtractor() {
  return FindHelperProgram("yt-dlp");
}

std::string AskSiteExtractor(const std::string& program, const std::string& url) {
  ChildRun run;
  run.args = {program, "--no-config", "--no-playlist", "--no-warnings", "-J", "--", url};
  run.keepOutput = SiteExtractor::kMaxAnswerBytes;
  run.keepErrors = kMessageBytes;
  run.timeLimit = std::chrono::seconds(SiteExtractor::kSeconds);
  run.role = "the site extractor";
  ChildResult result = RunChild(run);
  if (result.timedOut) {
    throw FetchError("The site extractor did not answer within " +
                     std::to_string(SiteExtractor::kSeconds) + " seconds.");
  }
  if (result.outputTooLarge) {
    throw FetchError("The site extractor's answer is larger than " +
                     std::to_string(SiteExtractor::kMaxAnswerBytes >> 20) + " MiB.");
  }
  if (!result.Succeeded()) {
    std::string message = ExtractorMessage(result.errors);
    if (message.empty()) message = result.EndText();
    throw FetchError("The site extractor could not find the video: " + message);
  }
  return std::move(result.output);
}

}  // namespace tarnfetch
