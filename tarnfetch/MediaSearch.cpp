#include "MediaSearch.h"

#include "FetchError.h"
#include "PageParser.h"
#include "Url.h"

namespace tarnfetch {
namespace {

// A page may name many addresses; trying a few is enough to find its media.
constexpr std::size_t kMaxCandidates = 5;

Deadline PageDeadline() {
  return std::chrono::steady_clock::now() + kPageSeconds;
}

Validators ProbedValidators(const ProbeResult& probe) {
  return {probe.contentLength, probe.etag, probe.lastModified};
}

}  // namespace

Media MediaFromPage(const ProbeResult& page, Deadline deadline) {
  const PageMedia found = ParsePage(page.body, page.contentType);
  std::string lastProblem;
  std::size_t tried = 0;
  for (const std::string& address : found.addresses) {
    if (tried == kMaxCandidates) break;
    const auto absolute = ResolveUrl(page.url, address);
    if (!absolute || !IsWebUrl(*absolute)) continue;
    ++tried;
    try {
      const ProbeResult target = Probe(*absolute, deadline, page.url);
      if (target.kind != ProbeResult::Kind::Page) {
        return {target.url,  target.contentType, ProbedValidators(target),
                found.title, page.url,           target.kind == ProbeResult::Kind::Stream};
      }
      lastProblem = "it leads to another web page, not to a video: " + target.url;
    } catch (const FetchError& failure) {
      lastProblem = failure.what();
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
  }
  if (tried == 0) throw FetchError("No video was found on the page " + page.url);
  throw FetchError("The video named on the page " + page.url + " could not be fetched; " +
                   lastProblem);
}

Media FindMedia(const std::string& address) {
  const ProbeResult first = Probe(address, PageDeadline());
  if (first.kind != ProbeResult::Kind::Page) {
    return {first.url, first.contentType, ProbedValidators(first),
            {},        {},                first.kind == ProbeResult::Kind::Stream};
  }
  return MediaFromPage(first, PageDeadline());
}

}  // namespace tarnfetch
