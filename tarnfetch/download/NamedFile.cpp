#include "download/NamedFile.h"

#include "download/MediaDownload.h"
#include "files/FileName.h"
#include "files/NameChoice.h"
#include "files/OutputFolder.h"
#include "report/Console.h"
#include "report/ProgressReporter.h"

namespace tarnfetch {

void DownloadNamedFile(const OutputTarget& target, std::optional<std::uint64_t> length,
                       const FetchOptions& options,
                       const std::function<std::uint64_t(MediaDownload&)>& fetch) {
  const OutputFolder folder(target.folder);
  const ChosenName chosen = ChooseName(folder, target, length);
  if (chosen.complete) {
    console::Skip(chosen.path);
    return;
  }
  console::FileName(chosen.path);
  ProgressReporter progress;
  MediaDownload download(folder, chosen.name, progress, options);
  progress.Finish(fetch(download));
}

}  // namespace tarnfetch
