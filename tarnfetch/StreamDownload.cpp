#include "StreamDownload.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Console.h"
#include "ControlFile.h"
#include "FetchError.h"
#include "FfmpegRemux.h"
#include "FileName.h"
#include "HlsDownload.h"
#include "HlsPlaylist.h"
#include "NameChoice.h"
#include "NewFile.h"
#include "OutputFolder.h"
#include "PartFile.h"
#include "StreamProgress.h"
#include "TransferEngine.h"

namespace tarnfetch {
namespace {

// The media playlist: the source's own, or its best variant's.
HlsPlaylist MediaPlaylist(const StreamSource& source) {
  std::string where = source.url;
  std::string text = source.playlist ? *source.playlist
                                     : FetchSmall(source.url, kMaxPlaylistBytes,
                                                  source.headers.For(source.url), &where);
  HlsPlaylist playlist(std::move(text), where);
  if (!playlist.IsMaster()) return playlist;
  const std::string variant = playlist.Best().url;
  std::string variantWhere = variant;
  std::string variantText =
      FetchSmall(variant, kMaxPlaylistBytes, source.headers.For(variant), &variantWhere);
  HlsPlaylist media(std::move(variantText), variantWhere);
  if (media.IsMaster())
    throw FetchError("The stream's variant is another master playlist: " + variant);
  return media;
}

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

// Copies the joined segments into an MP4 under the final name.
void RemuxInto(const std::string& ffmpeg, const OutputFolder& folder, const std::string& partName,
               const std::string& finalName) {
  Descriptor input{
      openat(folder.Descriptor(), partName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC)};
  if (input.fd < 0) {
    throw FetchError("Could not prepare " + folder.Path() + "/" + finalName + ": " +
                     std::strerror(errno) + ".");
  }
  WriteNewFile(folder, finalName, [&](int output) { RemuxToMp4(ffmpeg, input.fd, output); });
}

}  // namespace

void DownloadStream(const StreamSource& source, const std::string& title,
                    const std::string& pathTemplate) {
  const HlsPlaylist playlist = MediaPlaylist(source);
  const std::string ffmpeg = FindFfmpeg();
  const bool fragmentedMp4 = !playlist.Maps().empty();
  const OutputTarget target =
      ExpandTemplate(pathTemplate, title, fragmentedMp4 || !ffmpeg.empty() ? "mp4" : "ts");
  const OutputFolder folder(target.folder);
  // A stream's length is not known before: a file under the name is never
  // taken for it, nor replaced.
  const ChosenName chosen = ChooseName(folder, target, std::nullopt);
  console::FileName(chosen.path);

  PartFile part(folder, chosen.name);
  ControlFile control(folder, chosen.name);
  StreamProgress progress(playlist.TotalDuration(), playlist.Segments().size());
  HlsDownload(playlist, folder, source.headers).Run(part, control, progress);
  // The ".part" stays locked until the final name is taken.
  if (ffmpeg.empty()) {
    control.Remove();
    part.MoveTo(chosen.name);
  } else {
    RemuxInto(ffmpeg, folder, part.Name(), chosen.name);
    unlinkat(folder.Descriptor(), part.Name().c_str(), 0);
    control.Remove();
    part.Close();
  }
  const auto written = folder.Look(chosen.name);
  progress.Finish(written ? written->size : 0);
}

}  // namespace tarnfetch
