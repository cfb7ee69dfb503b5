#include "app/FetchJob.h"

#include <unistd.h>

#include <climits>

#include "app/MediaSearch.h"
#include "core/FetchError.h"
#include "core/MediaType.h"
#include "core/Utf8.h"
#include "download/MediaDownload.h"
#include "download/NamedFile.h"
#include "download/StreamDownload.h"
#include "extractor/ExtractorFallback.h"
#include "files/FileName.h"
#include "files/NameChoice.h"
#include "files/OutputFolder.h"
#include "http/Url.h"
#include "page/PageEncoding.h"
#include "report/Console.h"
#include "report/ProgressReporter.h"

namespace tarnfetch {
namespace {

// The file's own name without its extension, for media without a title.
// Bytes that are not UTF-8 are read as a page declared Latin-1 is.
std::string TitleFromAddress(const std::string& url) {
  std::string name = UrlFileName(url);
  if (!IsValidUtf8(name)) name = ToUtf8(name, PageEncoding::Windows1252);
  const auto dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

// The paths we print must be the paths on disk. The markers cannot carry
// "<" (it could close or open a tag), control characters or invalid UTF-8,
// so a template or current folder holding them is refused before anything
// is fetched. The title and extension are made safe on their own.
void RefuseUnprintablePaths(const std::string& pathTemplate) {
  std::string folder;
  if (pathTemplate.front() != '/') {
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer) != nullptr) folder = buffer;
  }
  for (const std::string& path : {folder, pathTemplate}) {
    if (MarkerSafe(path) != path) {
      throw FetchError(
          "The output path holds \"<\", a control character or bytes that are not UTF-8, which "
          "the progress lines cannot show: " +
          path);
    }
  }
}

}  // namespace

void RunFetchJob(const FetchOptions& options) {
  console::Go();
  const std::string address = CheckUserUrl(options.url);
  RefuseUnprintablePaths(options.pathTemplate);
  Media media;
  try {
    media = FindMedia(address, options);
  } catch (const NoVideoOnPage& failure) {
    return FetchWithSiteExtractor(address, failure.what(), options);
  }
  if (media.title.empty()) media.title = TitleFromAddress(media.url);
  // Quillmarsh reads our output in small chunks; a short line keeps the
  // whole tag in one of them.
  console::Title(media.title.empty() ? "video" : CutUtf8(media.title, kMaxTitleBytes));
  if (media.stream) {
    return DownloadStream({media.url, {{}, media.referrerPage, {}}, std::nullopt}, media.title,
                          options);
  }

  const OutputTarget target =
      ExpandTemplate(options.pathTemplate, media.title,
                     ChooseExtension(media.contentType, UrlFileExtension(media.url)));
  DownloadNamedFile(target, media.validators.length, options, [&](MediaDownload& download) {
    download.SetReferrerPage(media.referrerPage);
    return download.Run(media.url, media.validators);
  });
}

}  // namespace tarnfetch
