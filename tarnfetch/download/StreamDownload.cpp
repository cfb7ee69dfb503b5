#include "download/StreamDownload.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

#include "core/FetchError.h"
#include "core/MediaType.h"
#include "download/DashManifest.h"
#include "download/DashPeriodJoin.h"
#include "download/DashTracks.h"
#include "download/HlsDownload.h"
#include "download/HlsPlaylist.h"
#include "ffmpeg/FfmpegRemux.h"
#include "ffmpeg/PictureSoundJoin.h"
#include "ffmpeg/WholeMedia.h"
#include "files/ControlFile.h"
#include "files/FileName.h"
#include "files/NameChoice.h"
#include "files/NewFile.h"
#include "files/OutputFolder.h"
#include "files/PartFile.h"
#include "http/TransferEngine.h"
#include "report/Console.h"
#include "report/StreamProgress.h"

namespace tarnfetch {
namespace {

// A media playlist a master playlist names.
HlsPlaylist NamedMediaPlaylist(const std::string& url, const StreamHeaders& headers,
                               const FetchOptions& options) {
  std::string where = url;
  std::string text = FetchSmall(url, kMaxPlaylistBytes, options, headers.For(url), &where);
  HlsPlaylist media(std::move(text), where);
  if (media.IsMaster()) {
    throw FetchError("The stream's master playlist names another master playlist: " + url);
  }
  return media;
}

// One playlist of the stream, the headers its requests carry, and where
// its pieces' clocks start again (DASH periods).
struct StreamPart {
  HlsPlaylist playlist;
  StreamHeaders headers;
  std::vector<PeriodShift> shifts = {};
};

// The length a manifest of several periods declares, which their join
// must have; its address names it in the refusal.
struct DeclaredLength {
  double seconds = 0;
  std::string manifest;
};

// What the stream is made of: the source's own media playlist, or its best
// variant's and, when that variant's sound lies apart, the sound's.
struct StreamParts {
  StreamPart picture;
  std::optional<StreamPart> sound;
  std::string codecs;  // the variant's, when the master gives them
  std::optional<DeclaredLength> declared = {};
};

// A DASH manifest's chosen picture and sound, each written as a media
// playlist.
StreamParts DashParts(const std::string& text, const std::string& url,
                      const StreamHeaders& headers) {
  const DashManifest manifest(text, url);
  DashTracks tracks = ChooseDashTracks(manifest);
  StreamParts parts{{HlsPlaylist(std::move(tracks.picture.playlist), tracks.picture.url), headers,
                     std::move(tracks.picture.shifts)},
                    std::nullopt,
                    tracks.picture.codecs};
  if (tracks.sound) {
    parts.sound.emplace(
        StreamPart{HlsPlaylist(std::move(tracks.sound->playlist), tracks.sound->url), headers,
                   std::move(tracks.sound->shifts)});
    parts.codecs += "," + tracks.sound->codecs;
  }
  // One period is read as its own clock says; joined periods are checked.
  const auto declared = manifest.Declared();
  if (manifest.Periods().size() > 1 && declared) parts.declared = {*declared, url};
  return parts;
}

StreamParts ReadParts(const StreamSource& source, const FetchOptions& options) {
  std::string where = source.url;
  std::string text = source.playlist ? *source.playlist
                                     : FetchSmall(source.url, kMaxPlaylistBytes, options,
                                                  source.headers.For(source.url), &where);
  if (LooksLikeDashManifest(text)) return DashParts(text, where, source.headers);
  HlsPlaylist playlist(std::move(text), where);
  if (!playlist.IsMaster()) return {{std::move(playlist), source.headers}, std::nullopt, {}};
  const HlsVariant& best = playlist.Best();
  StreamParts parts{{NamedMediaPlaylist(best.url, source.headers, options), source.headers},
                    std::nullopt,
                    best.codecs};
  if (const auto audio = playlist.SeparateAudio(best)) {
    parts.sound.emplace(
        StreamPart{NamedMediaPlaylist(audio->url, source.headers, options), source.headers});
  }
  return parts;
}

// A CODECS list ("avc1.64001f,mp4a.40.2") that MP4 takes as it is; an
// unknown list is taken for the usual one.
bool CodecsFitMp4(std::string_view codecs) {
  while (!codecs.empty()) {
    std::string_view codec = codecs.substr(0, codecs.find(','));
    codecs.remove_prefix(std::min(codec.size() + 1, codecs.size()));
    while (!codec.empty() && codec.front() == ' ') codec.remove_prefix(1);
    if (!codec.empty() && !Mp4TakesCodec(codec)) return false;
  }
  return true;
}

// A playlist's ".part" and control file, beside the final name.
struct TrackFiles {
  TrackFiles(const OutputFolder& folder, const std::string& name)
      : part(folder, name), control(folder, name) {}
  PartFile part;
  ControlFile control;
};

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

// Copies the joined segments into an MP4 under the final name.
void RemuxInto(const std::string& ffmpeg, const OutputFolder& folder, const std::string& partName,
               const std::string& finalName, const JoinedFileCheck& prove) {
  Descriptor input{
      openat(folder.Descriptor(), partName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC)};
  if (input.fd < 0) {
    throw FetchError("Could not prepare " + folder.Path() + "/" + finalName + ": " +
                     std::strerror(errno) + ".");
  }
  WriteNewFile(folder, finalName, [&](int output) {
    RemuxToMp4(ffmpeg, input.fd, output);
    if (prove) prove(output, "mp4");
  });
}

// Fetches the parts into one file named from the title: picture and sound
// apart joined by ffmpeg into an MP4 (Matroska unless mp4); a single
// playlist copied by ffmpeg, when there is one, into an MP4, else joined
// as it is (".ts" unless mp4).
void FetchParts(const StreamParts& parts, const std::string& ffmpeg, bool mp4,
                const std::string& title, const FetchOptions& options) {
  const bool apart = parts.sound.has_value();
  const OutputTarget target = ExpandTemplate(options.pathTemplate, title,
                                             mp4     ? "mp4"
                                             : apart ? "mkv"
                                                     : "ts",
                                             apart ? kPieceSuffixBytes : 0);
  const OutputFolder folder(target.folder);
  // A stream's length is not known before: a file under the name is never
  // taken for it, nor replaced.
  const ChosenName chosen = ChooseName(folder, target, std::nullopt);
  console::FileName(chosen.path);

  // Picture and sound each go to their own ".part" until they are joined.
  std::vector<const StreamPart*> playlists{&parts.picture};
  if (apart) playlists.push_back(&*parts.sound);
  std::vector<std::unique_ptr<TrackFiles>> files;
  std::vector<HlsTrack> tracks;
  double seconds = 0;
  std::size_t segments = 0;
  bool timed = true;
  for (std::size_t i = 0; i < playlists.size(); ++i) {
    const std::string name = apart ? chosen.name + (i == 0 ? ".video" : ".audio") : chosen.name;
    files.push_back(std::make_unique<TrackFiles>(folder, name));
    const HlsPlaylist& playlist = playlists[i]->playlist;
    tracks.push_back({playlist, playlists[i]->headers, files.back()->part, files.back()->control,
                      playlists[i]->shifts});
    seconds += playlist.TotalDuration();
    segments += playlist.Segments().size();
    timed = timed && playlist.TotalDuration() > 0;
  }
  StreamProgress progress(timed ? seconds : 0, segments);
  HlsDownload(folder, options).Run(tracks, progress);
  // The ".part"s stay locked until the final name is taken.
  // Before the parts go, the joined file must last as the manifest says.
  JoinedFileCheck prove;
  if (parts.declared) {
    prove = [&declared = *parts.declared](int fd, std::string_view muxer) {
      ProveJoinedDuration(MediaDuration(fd, muxer), declared.seconds, declared.manifest);
    };
  }
  if (ffmpeg.empty()) {
    files[0]->control.Remove();
    files[0]->part.MoveTo(chosen.name);
  } else {
    if (apart) {
      JoinPictureAndSound(ffmpeg, folder, files[0]->part.Name(), files[1]->part.Name(), chosen.name,
                          mp4, prove);
    } else {
      RemuxInto(ffmpeg, folder, files[0]->part.Name(), chosen.name, prove);
    }
    for (const auto& track : files) {
      unlinkat(folder.Descriptor(), track->part.Name().c_str(), 0);
      track->control.Remove();
      track->part.Close();
    }
  }
  const auto written = folder.Look(chosen.name);
  progress.Finish(written ? written->size : 0);
}

}  // namespace

void DownloadStream(const StreamSource& source, const std::string& title,
                    const FetchOptions& options) {
  const StreamParts parts = ReadParts(source, options);
  const bool apart = parts.sound.has_value();
  const std::string ffmpeg = apart ? FfmpegToJoin("this stream's") : FindFfmpeg();
  const bool fragmentedMp4 = !parts.picture.playlist.Maps().empty();
  const bool mp4 = apart ? CodecsFitMp4(parts.codecs) : fragmentedMp4 || !ffmpeg.empty();
  FetchParts(parts, ffmpeg, mp4, title, options);
}

void DownloadStreamPair(const StreamSource& picture, const StreamSource& sound, bool mp4,
                        const std::string& title, const FetchOptions& options) {
  const std::string ffmpeg = FfmpegToJoin("this video's");
  // Each source's own picture: a master playlist's best variant.
  StreamParts parts = ReadParts(picture, options);
  parts.sound.emplace(std::move(ReadParts(sound, options).picture));
  FetchParts(parts, ffmpeg, mp4, title, options);
}

}  // namespace tarnfetch
