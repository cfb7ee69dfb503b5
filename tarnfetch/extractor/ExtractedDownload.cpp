#include "extractor/ExtractedDownload.h"

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

// MP4 takes these codecs as they are; anything else goes into Matroska.
bool FitsMp4(const ExtractedFormat& video, const ExtractedFormat& audio) {
  const bool picture =
      video.videoCodec.empty() ? video.extension == "mp4" : Mp4TakesCodec(video.videoCodec);
  const bool sound = audio.audioCodec.empty() ? audio.extension == "m4a" || audio.extension == "mp4"
                                              : Mp4TakesCodec(audio.audioCodec);
  return picture && sound;
}

std::string NotAVideo(const std::string& url) {
  return "The address the site extractor gave leads to a web page, not to a video: " + url;
}

// The first look at an address the extractor gave, with its headers.
ProbeResult LookAt(const ExtractedFormat& format, const FetchOptions& options) {
  ProbeResult probe = Probe(format.url, std::chrono::steady_clock::now() + kPageSeconds, options,
                            {{}, format.headers, true});
  if (probe.kind == ProbeResult::Kind::Page) throw FetchError(NotAVideo(probe.url));
  return probe;
}

// Each address is fetched as a direct video would be: several connections
// when large, continued after a failed or killed run, its length checked.
// The address goes as the extractor gave it, so that its Cookie stays with
// its origin whatever the redirects.
std::uint64_t FetchFormat(MediaDownload& download, const ExtractedFormat& format,
                          const ProbeResult& probe) {
  download.SetHeaders(format.headers);
  return download.Run(format.url, ProbedValidators(probe));
}

StreamSource StreamOf(const ExtractedFormat& format) {
  std::optional<std::string> playlist;
  if (!format.playlist.empty()) playlist = format.playlist;
  return {format.url, {format.headers, {}, format.url}, std::move(playlist)};
}

void DownloadSingle(const ExtractedFormat& format, const std::string& title,
                    const FetchOptions& options) {
  const ProbeResult probe = LookAt(format, options);
  if (probe.kind == ProbeResult::Kind::Stream) {
    return DownloadStream(StreamOf(format), title, options);
  }
  const std::string extension =
      format.extension.empty() ? ChooseExtension(probe.contentType, UrlFileExtension(format.url))
                               : format.extension;
  const OutputTarget target = ExpandTemplate(options.pathTemplate, title, extension);
  DownloadNamedFile(target, probe.contentLength ? probe.contentLength : format.size, options,
                    [&](MediaDownload& download) { return FetchFormat(download, format, probe); });
}

// Picture and sound at once, each on a thread of its own into a ".part"
// that stays, done or not, for the next run until ffmpeg has joined them;
// one progress line across both. Two streams go the stream path's way.
void DownloadJoined(const ExtractorAnswer& answer, const FetchOptions& options) {
  const std::string ffmpeg = FfmpegToJoin("this video's");
  const auto& formats = answer.formats;
  const bool mp4 = FitsMp4(formats[0], formats[1]);
  // An address the extractor calls a file may prove to be a stream.
  std::array<std::optional<ProbeResult>, 2> probes;
  std::array<bool, 2> streams{};
  for (std::size_t i = 0; i < probes.size(); ++i) {
    streams[i] = formats[i].IsStream();
    if (!streams[i]) {
      probes[i] = LookAt(formats[i], options);
      streams[i] = probes[i]->kind == ProbeResult::Kind::Stream;
    }
  }
  // Picture and sound named by one DASH manifest: the stream path chooses
  // both from it.
  const auto manifestOnly = [](const ExtractedFormat& f) {
    return f.IsDash() && f.playlist.empty();
  };
  if (manifestOnly(formats[0]) || manifestOnly(formats[1])) {
    if (manifestOnly(formats[0]) && manifestOnly(formats[1]) && formats[0].url == formats[1].url) {
      return DownloadStream(StreamOf(formats[0]), answer.title, options);
    }
    throw FetchError(
        "The site extractor chose picture and sound from different DASH manifests without "
        "listing their pieces, which tarnfetch cannot join.");
  }
  if (streams[0] && streams[1]) {
    return DownloadStreamPair(StreamOf(formats[0]), StreamOf(formats[1]), mp4, answer.title,
                              options);
  }
  if (streams[0] || streams[1]) {
    throw FetchError(
        "The site extractor chose a stream for one of picture and sound and a file for the "
        "other, which tarnfetch cannot join.");
  }
  const OutputTarget target =
      ExpandTemplate(options.pathTemplate, answer.title, mp4 ? "mp4" : "mkv", kPieceSuffixBytes);
  const OutputFolder folder(target.folder);
  const ChosenName chosen = ChooseName(folder, target, std::nullopt);
  if (chosen.complete) {
    console::Skip(chosen.path);
    return;
  }
  console::FileName(chosen.path);
  static constexpr std::array<const char*, 2> kPieceNames{".video", ".audio"};
  ProgressLine line;
  std::array<ProgressReporter, 2> progress{ProgressReporter(line, probes[0]->contentLength),
                                           ProgressReporter(line, probes[1]->contentLength)};
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
      const std::uint64_t size = FetchFormat(download, formats[i], *probes[i]);
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

void DownloadExtracted(const ExtractorAnswer& answer, const FetchOptions& options) {
  console::Title(answer.title);
  const ExtractedFormat& first = answer.formats.front();
  if (answer.formats.size() == 1 && first.IsStream()) {
    return DownloadStream(StreamOf(first), answer.title, options);
  }
  if (answer.formats.size() == 1) return DownloadSingle(first, answer.title, options);
  DownloadJoined(answer, options);
}

}  // namespace tarnfetch
