#include "extractor/SiteExtractor.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "cookies/SiteCookieFile.h"
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
    if (line.starts_with("ERROR: ")) lastError = line.substr(7);
    start = end + 1;
  }
  return lastError.empty() ? last : lastError;
}

// Python says so when an allocation fails; a C program that does not check
// dies of a signal.
bool RanOutOfMemory(const ChildResult& result) {
  const bool said = result.errors.find("MemoryError") != std::string::npos ||
                    result.errors.find("Cannot allocate memory") != std::string::npos ||
                    result.errors.find("out of memory") != std::string::npos;
  const bool crashed = WIFSIGNALED(result.waitStatus) && (WTERMSIG(result.waitStatus) == SIGSEGV ||
                                                          WTERMSIG(result.waitStatus) == SIGABRT ||
                                                          WTERMSIG(result.waitStatus) == SIGBUS);
  return said || crashed;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A file without a name for the answer: nothing is left when we end.
File AnswerFile() {
  const char* folder = std::getenv("TMPDIR");
  if (folder == nullptr || folder[0] != '/') folder = "/tmp";
  int fd = ::open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::string name = std::string(folder) + "/tarnfetch-answer-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(name.c_str());
  }
  std::FILE* file = fd >= 0 ? ::fdopen(fd, "w+b") : nullptr;
  if (file == nullptr) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    throw FetchError(
        std::string("Could not make a temporary file for the site extractor's answer: ") +
        std::strerror(error) + ".");
  }
  return File(file);
}

}  // namespace

std::string FindSiteExtractor() {
  return FindHelperProgram("yt-dlp");
}

ExtractorAnswer AskSiteExtractor(const std::vector<std::string>& command, const std::string& url,
                                 const FetchOptions& options) {
  const File answer = AnswerFile();
  ChildRun run;
  run.args = command;
  run.args.insert(run.args.end(), {"--no-config", "--no-playlist", "--flat-playlist",
                                   "--no-warnings", "-f", SiteExtractor::kFormatChoice, "-J"});
  if (!options.proxy.empty()) run.args.insert(run.args.end(), {"--proxy", options.proxy});
  // Only the page's site's cookies, in a file that goes when the answer is in.
  std::optional<SiteCookieFile> cookies;
  if (options.cookies) cookies.emplace(*options.cookies, url);
  if (cookies && !cookies->Path().empty())
    run.args.insert(run.args.end(), {"--cookies", cookies->Path()});
  run.args.insert(run.args.end(), {"--", url});
  run.outputFile = ::fileno(answer.get());
  run.fileSizeBytes = SiteExtractor::kMaxAnswerBytes + 1;
  run.keepErrors = kMessageBytes;
  run.timeLimit = std::chrono::seconds(SiteExtractor::kSeconds);
  run.addressSpaceBytes = SiteExtractor::kAddressSpaceBytes;
  run.role = "the site extractor";
  const auto deadline = std::chrono::steady_clock::now() + run.timeLimit;
  ChildResult result = RunChild(run);
  struct stat written {};
  const bool tooLarge =
      ::fstat(run.outputFile, &written) == 0 &&
      static_cast<std::uint64_t>(written.st_size) > SiteExtractor::kMaxAnswerBytes;
  if (result.timedOut) {
    throw FetchError("The site extractor did not answer within " +
                     std::to_string(SiteExtractor::kSeconds) + " seconds.");
  }
  if (tooLarge) {
    throw FetchError("The site extractor's answer is larger than " +
                     std::to_string(SiteExtractor::kMaxAnswerBytes >> 20) + " MiB.");
  }
  if (!result.Succeeded() && RanOutOfMemory(result)) {
    throw FetchError("The site extractor needed more than the " +
                     std::to_string(SiteExtractor::kAddressSpaceBytes >> 20) +
                     " MiB of memory it may use and was stopped.");
  }
  if (!result.Succeeded()) {
    std::string message = ExtractorMessage(result.errors);
    if (message.empty()) message = result.EndText();
    const bool siteChanged = message.find("Unsupported URL") != std::string::npos ||
                             message.find("Unable to extract") != std::string::npos;
    throw ExtractorRefusal("The site extractor could not find the video: " + message, siteChanged);
  }
  std::rewind(answer.get());
  return ReadExtractorAnswer(answer.get(), deadline);
}

}  // namespace tarnfetch
