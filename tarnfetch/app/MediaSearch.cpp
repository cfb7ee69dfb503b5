#include "app/MediaSearch.h"

#include <optional>
#include <unordered_set>

#include "core/FetchError.h"
#include "core/Utf8.h"
#include "http/Url.h"
#include "page/FetchableAddress.h"
#include "page/PageEncoding.h"
#include "page/PageParser.h"

namespace tarnfetch {
namespace {

// A page may name many addresses; trying a few is enough to find its media.
constexpr std::size_t kMaxCandidates = 5;

Deadline PageDeadline() {
  return std::chrono::steady_clock::now() + kPageSeconds;
}

// One search through a page and its frames.
struct Search {
  const FetchOptions& options;
  Deadline deadline;
  std::string title;                     // the outer page's
  std::unordered_set<std::string> seen;  // pages read, so that a frame loop ends
  // Media addresses looked at, without their fragments: one written in
  // several ways is tried once and takes one of a page's tries.
  std::unordered_set<std::string> looked;
  std::size_t tried = 0;
  std::string lastProblem;
  std::string unfetchable;  // the first stream named that cannot be fetched
};

// What the page says an address is, for a server that says only "bytes".
std::string DeclaredType(const PageMedia& found, const std::string& address) {
  const auto type = found.declaredTypes.find(address);
  return type != found.declaredTypes.end() ? type->second : std::string();
}

bool TimeIsUp(const Search& search) {
  return std::chrono::steady_clock::now() >= search.deadline;
}

std::optional<MediaPlan> FromPage(ProbeResult page, int depth, Search& search);

// The file's own name without its extension, for media without a title.
// Bytes that are not UTF-8 are read as a page declared Latin-1 is.
std::string TitleFromAddress(const std::string& url) {
  std::string name = UrlFileName(url);
  if (!IsValidUtf8(name)) name = ToUtf8(name, PageEncoding::Windows1252);
  const auto dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

// The plan for media looked at already; pageUrl is the page that named it
// (empty for the user's own address).
MediaPlan PlanFor(const ProbeResult& target, const std::string& title, const std::string& pageUrl) {
  PlannedSource source;
  const bool stream = target.kind == ProbeResult::Kind::Stream;
  source.kind = stream ? PlannedSource::Kind::Stream : PlannedSource::Kind::File;
  source.url = target.url;
  source.headers = {{}, pageUrl, {}};
  source.looked = true;
  source.validators = ProbedValidators(target);
  source.contentType = target.contentType;
  return {title.empty() ? TitleFromAddress(target.url) : title, {std::move(source)}, {}};
}

MediaPlan FoundMedia(const ProbeResult& target, const std::string& pageUrl, const Search& search) {
  return PlanFor(target, search.title, pageUrl);
}

// The page's own addresses, then its frames.
std::optional<MediaPlan> FromFound(const std::string& pageUrl, const PageMedia& found, int depth,
                                   Search& search) {
  std::size_t tried = 0;
  if (search.unfetchable.empty() && !found.unfetchableStreams.empty()) {
    search.unfetchable = found.unfetchableStreams.front();
  }
  for (const std::string& address : found.addresses) {
    if (tried == kMaxCandidates || TimeIsUp(search)) break;
    const auto absolute = ResolveUrl(pageUrl, address);
    if (!absolute || !IsWebUrl(*absolute)) continue;
    if (!search.looked.insert(absolute->substr(0, absolute->find('#'))).second) continue;
    ++tried;
    ++search.tried;
    try {
      const ProbeResult target = Probe(*absolute, search.deadline, search.options,
                                       {pageUrl, {}, false, DeclaredType(found, address)});
      if (target.kind != ProbeResult::Kind::Page) {
        return FoundMedia(target, pageUrl, search);
      }
      search.lastProblem = "it leads to another web page, not to a video: " + target.url;
    } catch (const FetchError& failure) {
      search.lastProblem = failure.what();
    }
  }
  if (depth == kMaxFrameDepth) return std::nullopt;
  for (const std::string& frame : found.frames) {
    if (TimeIsUp(search)) break;
    const auto absolute = ResolveUrl(pageUrl, frame);
    if (!absolute || !IsWebUrl(*absolute) || !search.seen.insert(*absolute).second) continue;
    try {
      ProbeResult target = Probe(*absolute, search.deadline, search.options, {pageUrl, {}, false});
      if (target.kind != ProbeResult::Kind::Page) {  // a frame showing the file itself
        ++search.tried;
        return FoundMedia(target, pageUrl, search);
      }
      // Redirected to a page read before: a loop.
      if (target.url != *absolute && !search.seen.insert(target.url).second) continue;
      if (auto media = FromPage(std::move(target), depth + 1, search)) return media;
    } catch (const FetchError& failure) {
      search.lastProblem = failure.what();
    }
  }
  return std::nullopt;
}

// Reads a frame's page; its text is let go before its own frames are read,
// so that at most one page's text is held at a time.
std::optional<MediaPlan> FromPage(ProbeResult page, int depth, Search& search) {
  const PageMedia found = ParsePage(page.body, page.contentType);
  page.body = std::string();
  return FromFound(page.url, found, depth, search);
}

MediaPlan Finish(std::optional<MediaPlan> media, const std::string& pageUrl, const Search& search) {
  if (media) return std::move(*media);
  if (search.tried == 0 && !search.unfetchable.empty()) {
    throw NoVideoOnPage("The page names only an " + StreamProtocolName(search.unfetchable) +
                        " stream, which cannot be downloaded: " + search.unfetchable);
  }
  if (search.tried == 0) throw NoVideoOnPage("No video was found on the page " + pageUrl);
  throw NoVideoOnPage("The video named on the page " + pageUrl + " could not be fetched; " +
                      search.lastProblem);
}

Search NewSearch(const ProbeResult& page, Deadline deadline, const std::string& title,
                 const FetchOptions& options) {
  Search search{options, deadline, title, {page.url}, {}, 0, {}, {}};
  return search;
}

}  // namespace

MediaPlan MediaFromPage(const ProbeResult& page, Deadline deadline, const FetchOptions& options) {
  const PageMedia found = ParsePage(page.body, page.contentType);
  Search search = NewSearch(page, deadline, found.title, options);
  return Finish(FromFound(page.url, found, 0, search), page.url, search);
}

MediaPlan FindMedia(const std::string& address, const FetchOptions& options) {
  ProbeResult first = Probe(address, PageDeadline(), options);
  if (first.kind != ProbeResult::Kind::Page) return PlanFor(first, {}, {});
  // The page's text is let go before its frames are read.
  const PageMedia found = ParsePage(first.body, first.contentType);
  first.body = std::string();
  Search search = NewSearch(first, PageDeadline(), found.title, options);
  search.seen.insert(address);
  return Finish(FromFound(first.url, found, 0, search), first.url, search);
}

}  // namespace tarnfetch
