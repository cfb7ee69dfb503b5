#include <unistd.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/FetchError.h"
#include "core/MediaType.h"
#include "core/RunTogether.h"
#include "core/StopFlag.h"
#include "download/MediaDownload.h"
#include "download/MediaPlan.h"
#include "download/NamedFile.h"
#include "download/StreamDownload.h"
#include "ffmpeg/PictureSoundJoin.h"
#include "files/ControlFile.h"
#include "files/FileName.h"
#include "files/NameChoice.h"
#include "files/OutputFolder.h"
#include "files/PartFile.h"
#include "http/Probe.h"
#include "http/Url.h"
#include "report/Console.h"
#include "report/ProgressReporter.h"

namespace tarnfetch {
namespace {

using Kind = PlannedSource::Kind;

// MP4 takes these codecs as they are; anything else goes into Matroska.
bool FitsMp4(const PlannedSource& video, const PlannedSource& audio) {
  const bool picture =
      video.videoCodec.empty() ? video.extension == "mp4" : Mp4TakesCodec(video.videoCodec);
  const bool sound = audio.audioCodec.empty() ? audio.extension == "m4a" || audio.extension == "mp4"
                                              : Mp4TakesCodec(audio.audioCodec);
  return picture && sound;
}

// The first look at an address that was not looked at while finding it,
// with its headers: a file, or a stream after all. Whoever named it read
// the page, so anything but text is taken for media.
PlannedSource Looked(PlannedSource source, const FetchOptions& options) {
  if (source.kind == Kind::Stream || source.looked) return source;
  const ProbeResult probe = Probe(source.url, std::chrono::steady_clock::now() + kPageSeconds,
                                  options, {{}, source.headers.extra, true});
  if (probe.kind == ProbeResult::Kind::Page) {
    throw FetchError("The address the site extractor gave leads to a web page, not to a video: " +
                     probe.url);
  }
  source.kind = probe.kind == ProbeResult::Kind::Stream ? Kind::Stream : Kind::File;
  source.looked = true;
  source.validators = ProbedValidators(probe);
  source.contentType = probe.contentType;
  return source;
}

StreamSource StreamOf(const PlannedSource& source) {
  return {source.url, source.headers, source.playlist};
}

// Fetched as any direct video: several connections when large, continued
// after a failed or killed run, its length checked. The address goes as it
// was found, so that its Cookie stays with its origin whatever the
// redirects.
std::uint64_t FetchFile(MediaDownload& download, const PlannedSource& source) {
  download.SetReferrerPage(source.headers.referrerPage);
  download.SetHeaders(source.headers.extra);
  return download.Run(source.url, source.validators);
}

void FetchSingle(const PlannedSource& found, const std::string& title,
                 const FetchOptions& options) {
  const PlannedSource source = Looked(found, options);
  if (source.kind == Kind::Stream) return DownloadStream(StreamOf(source), title, options);
  const std::string extension =
      source.extension.empty() ? ChooseExtension(source.contentType, UrlFileExtension(source.url))
                               : source.extension;
  const OutputTarget target = ExpandTemplate(options.pathTemplate, title, extension);
  // A size the finder was told stands in for a length the server keeps to
  // itself, for finding a complete file under the name.
  const auto length = source.validators.length ? source.validators.length : source.size;
  DownloadNamedFile(target, length, options,
                    [&](MediaDownload& download) { return FetchFile(download, source); });
}

// Picture and sound at once, each on a thread of its own into a ".part"
// that stays, done or not, for the next run until ffmpeg has joined them;
// one progress line across both. Two streams go the stream path's way.
void FetchJoined(const MediaPlan& plan, const FetchOptions& options) {
  const std::string ffmpeg = FfmpegToJoin("this video's");
  const std::array<PlannedSource, 2> found{plan.sources[0], plan.sources[1]};
  const bool mp4 = FitsMp4(found[0], found[1]);
  // Picture and sound named by one DASH manifest: the stream path chooses
  // both from it.
  if (found[0].manifestOnly || found[1].manifestOnly) {
    if (found[0].manifestOnly && found[1].manifestOnly && found[0].url == found[1].url) {
      return DownloadStream(StreamOf(found[0]), plan.title, options);
    }
    throw FetchError(
        "The site extractor chose picture and sound from different DASH manifests without "
        "listing their pieces, which tarnfetch cannot join.");
  }
  // An address called a file may prove to be a stream.
  const std::array<PlannedSource, 2> sources{Looked(found[0], options), Looked(found[1], options)};
  const bool streams[2] = {sources[0].kind == Kind::Stream, sources[1].kind == Kind::Stream};
  if (streams[0] && streams[1]) {
    return DownloadStreamPair(StreamOf(sources[0]), StreamOf(sources[1]), mp4, plan.title, options);
  }
  if (streams[0] || streams[1]) {
    throw FetchError(
        "The site extractor chose a stream for one of picture and sound and a file for the "
        "other, which tarnfetch cannot join.");
  }
  const OutputTarget target =
      ExpandTemplate(options.pathTemplate, plan.title, mp4 ? "mp4" : "mkv", kPieceSuffixBytes);
  const OutputFolder folder(target.folder);
  const ChosenName chosen = ChooseName(folder, target, std::nullopt);
  if (chosen.complete) {
    console::Skip(chosen.path);
    return;
  }
  console::FileName(chosen.path);
  static constexpr std::array<const char*, 2> kPieceNames{".video", ".audio"};
  ProgressLine line;
  std::array<ProgressReporter, 2> progress{ProgressReporter(line, sources[0].validators.length),
                                           ProgressReporter(line, sources[1].validators.length)};
  StopFlag stop;
  // Each piece is locked again the moment it is complete and stays locked
  // until joined, so that no other run can rewrite it in between.
  std::array<std::unique_ptr<PartFile>, 2> held;
  std::vector<std::function<void()>> pieces;
  for (std::size_t i = 0; i < kPieceNames.size(); ++i) {
    pieces.emplace_back([&, i] {
      MediaDownload download(folder, chosen.name + kPieceNames[i], progress[i], options);
      download.KeepPartWhenDone();
      download.SetStopFlag(&stop);
      const std::uint64_t size = FetchFile(download, sources[i]);
      held[i] = std::make_unique<PartFile>(folder, chosen.name + kPieceNames[i]);
      if (held[i]->Size() != size) {
        throw FetchError(folder.Path() + "/" + held[i]->Name() +
                         " was changed by another program before it was joined.");
      }
    });
  }
  RunTogether(pieces, stop);
  JoinPictureAndSound(ffmpeg, folder, held[0]->Name(), held[1]->Name(), chosen.name, mp4);
  for (std::size_t i = 0; i < kPieceNames.size(); ++i) {
    ControlFile(folder, chosen.name + kPieceNames[i]).Remove();
    unlinkat(folder.Descriptor(), held[i]->Name().c_str(), 0);
    held[i]->Close();
  }
  const auto written = folder.Look(chosen.name);
  line.Finish(written ? written->size : 0);
}

}  // namespace

void FetchPlan(const MediaPlan& plan, const FetchOptions& options) {
  if (plan.list) {
    for (const ListedVideo& video : plan.list->videos) console::ListEntry(video.url, video.title);
    return console::ListEnd(plan.list->videos.size(), plan.list->skipped, plan.list->cut);
  }
  console::Title(plan.title.empty() ? "video" : plan.title);
  if (plan.sources.size() == 1) return FetchSingle(plan.sources.front(), plan.title, options);
  FetchJoined(plan, options);
}

}  // namespace tarnfetch
