#include "FetchJob.h"

#include <algorithm>

#include "Console.h"
#include "FetchError.h"
#include "FileName.h"
#include "MediaDownload.h"
#include "MediaType.h"
#include "OutputFolder.h"
#include "PageParser.h"
#include "Probe.h"
#include "ProgressReporter.h"
#include "StreamDownload.h"
#include "Url.h"
#include "Utf8.h"

namespace tarnfetch {
namespace {

// A page may name many addresses; trying a few is enough to find its media.
constexpr std::size_t kMaxCandidates = 5;

struct Media {
  std::string url;
  std::string contentType;
  std::optional<std::uint64_t> length;
  std::string title;
  bool stream = false;  // an HLS playlist
};

// The first of the page's addresses that leads to a media file.
Media MediaFromPage(const ProbeResult& page) {
  const PageMedia found = ParsePage(page.body, page.contentType);
  std::string lastProblem;
  std::size_t tried = 0;
  for (const std::string& address : found.addresses) {
    if (tried == kMaxCandidates) break;
    const auto absolute = ResolveUrl(page.url, address);
    if (!absolute || !IsWebUrl(*absolute)) continue;
    ++tried;
    try {
      const ProbeResult target = Probe(*absolute);
      if (target.kind != ProbeResult::Kind::Page) {
        return {target.url, target.contentType, target.contentLength, found.title,
                target.kind == ProbeResult::Kind::Stream};
      }
      lastProblem = "it leads to another web page, not to a video: " + target.url;
    } catch (const FetchError& failure) {
      lastProblem = failure.what();
    }
  }
  if (tried == 0) throw FetchError("No video was found on the page " + page.url);
  throw FetchError("The video named on the page " + page.url + " could not be fetched; " +
                   lastProblem);
}

// The file's own name without its extension, for media without a title.
std::string TitleFromAddress(const std::string& url) {
  std::string name = UrlFileName(url);
  const auto dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

}  // namespace

void RunFetchJob(const std::string& url, const std::string& pathTemplate) {
  console::Go();
  const std::string address = CheckUserUrl(url);
  const ProbeResult first = Probe(address);
  Media media = first.kind != ProbeResult::Kind::Page
                    ? Media{first.url,
                            first.contentType,
                            first.contentLength,
                            {},
                            first.kind == ProbeResult::Kind::Stream}
                    : MediaFromPage(first);
  if (media.title.empty()) media.title = TitleFromAddress(media.url);
  // Quillmarsh reads our output in small chunks; a short line keeps the
  // whole tag in one of them.
  console::Title(media.title.empty() ? "video" : CutUtf8(media.title, kMaxTitleBytes));
  if (media.stream) return DownloadStream({media.url, {}, std::nullopt}, media.title, pathTemplate);

  const OutputTarget target =
      ExpandTemplate(pathTemplate, media.title, ChooseExtension(media.contentType, media.url));
  const OutputFolder folder(target.folder);
  if (folder.HasCompleteFile(target.name, media.length)) {
    console::Skip(target.path);
    return;
  }
  console::FileName(target.path);
  ProgressReporter progress;
  const std::uint64_t size =
      MediaDownload(folder, target.name, progress).Run(media.url, media.length);
  progress.Finish(size);
}

}  // namespace tarnfetch
