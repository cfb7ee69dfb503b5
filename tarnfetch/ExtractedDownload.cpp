#include "ExtractedDownload.h"

#include <unistd.h>

#include <array>
#include <memory>

#include "Console.h"
#include "FetchError.h"
#include "FileName.h"
#include "MediaDownload.h"
#include "MediaType.h"
#include "NameChoice.h"
#include "OutputFolder.h"
#include "PartFile.h"
#include "PictureSoundJoin.h"
#include "Probe.h"
#include "ProgressReporter.h"
#include "StreamDownload.h"
#include "TransferEngine.h"

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

// A single address is a direct video whose requests need the extractor's
// headers: looked at first, then fetched in parts when large, continued
// after a failed or killed run, its length checked.
void DownloadSingle(const ExtractedFormat& format, const std::string& title,
                    const std::string& pathTemplate, int connections) {
  const ProbeResult probe = Probe(format.url, std::chrono::steady_clock::now() + kPageSeconds,
                                  {{}, format.headers, true});
  if (probe.kind == ProbeResult::Kind::Page) throw FetchError(NotAVideo(probe.url));
  if (probe.kind == ProbeResult::Kind::Stream) {
    return DownloadStream({format.url, {format.headers, {}}, std::nullopt}, title, pathTemplate);
  }
  const std::string extension =
      format.extension.empty() ? ChooseExtension(probe.contentType, format.url) : format.extension;
  const OutputTarget target = ExpandTemplate(pathTemplate, title, extension);
  const OutputFolder folder(target.folder);
  const ChosenName chosen =
      ChooseName(folder, target, probe.contentLength ? probe.contentLength : format.size);
  if (chosen.complete) {
    console::Skip(chosen.path);
    return;
  }
  console::FileName(chosen.path);
  ProgressReporter progress;
  MediaDownload download(folder, chosen.name, progress);
  download.SetHeaders(format.headers);
  download.SetConnections(connections);
  // The address as the extractor gave it: its Cookie stays with its origin
  // whatever the redirects.
  progress.Finish(download.Run(format.url, {probe.contentLength, probe.etag, probe.lastModified}));
}

// One piece being fetched into its ".part" file.
struct Piece {
  const ExtractedFormat& format;
  std::unique_ptr<PartFile> part;
  std::uint64_t written = 0;
};

// The request that fills a piece. A retry may start again from an earlier
// offset; what lay beyond it is cut.
TransferRequest RequestFor(Piece& piece) {
  TransferRequest request;
  request.url = piece.format.url;
  request.headers = piece.format.headers;
  request.checkHead = [](const ResponseHead& head, const std::string& url) -> std::string {
    const std::string type = BareContentType(head.contentType);
    if (IsPageContentType(type) || type.rfind("text/", 0) == 0) {
      return NotAVideo(url);
    }
    return {};
  };
  request.sink = [&piece](std::uint64_t offset, const char* data, std::size_t size,
                          std::string* failure) {
    if (offset != piece.written) {
      piece.part->Resize(offset);
      piece.part->Continue();
      piece.written = offset;
    }
    if (!piece.part->Write(data, size)) {
      *failure = piece.part->LastFailure();
      return false;
    }
    piece.written += size;
    return true;
  };
  return request;
}

// Fetches all pieces at the same time, with one progress line for them.
void FetchPieces(std::vector<Piece>& pieces, ProgressReporter& progress) {
  std::optional<std::uint64_t> total = 0;
  for (const Piece& piece : pieces) {
    total = total && piece.format.size ? std::optional(*total + *piece.format.size) : std::nullopt;
  }
  progress.Start(0, total);
  TransferEngine engine(static_cast<int>(pieces.size()));
  engine.OnProgress([&progress](std::uint64_t received) { progress.Update(received); });
  std::size_t next = 0;
  engine.Run([&]() -> std::optional<TransferRequest> {
    if (next == pieces.size()) return std::nullopt;
    return RequestFor(pieces[next++]);
  });
  for (Piece& piece : pieces) {
    if (piece.written == 0) throw FetchError("The server sent an empty file: " + piece.format.url);
  }
}

// Removes the pieces' files however the download ends.
struct PieceCleaner {
  const OutputFolder& folder;
  std::vector<Piece>& pieces;
  ~PieceCleaner() {
    for (Piece& piece : pieces) {
      if (piece.part) unlinkat(folder.Descriptor(), piece.part->Name().c_str(), 0);
    }
  }
};

}  // namespace

void DownloadExtracted(const ExtractorAnswer& answer, const std::string& pathTemplate,
                       int connections) {
  console::Title(answer.title);
  const ExtractedFormat& first = answer.formats.front();
  if (answer.formats.size() == 1 && first.IsStream()) {
    return DownloadStream({first.url, {first.headers, {}}, std::nullopt}, answer.title,
                          pathTemplate);
  }
  if (answer.formats.size() == 1) {
    return DownloadSingle(first, answer.title, pathTemplate, connections);
  }
  const bool merge = answer.formats.size() == 2;
  const std::string ffmpeg = merge ? FfmpegToJoin("this video's") : std::string();
  const bool mp4 = merge && FitsMp4(answer.formats[0], answer.formats[1]);
  const std::string extension =
      merge ? (mp4 ? "mp4" : "mkv")
            : (first.extension.empty() ? ChooseExtension("", first.url) : first.extension);
  const OutputTarget target = ExpandTemplate(pathTemplate, answer.title, extension);
  const OutputFolder folder(target.folder);
  const ChosenName chosen = ChooseName(folder, target, merge ? std::nullopt : first.size);
  if (chosen.complete) {
    console::Skip(chosen.path);
    return;
  }
  console::FileName(chosen.path);

  std::vector<Piece> pieces;
  for (std::size_t i = 0; i < answer.formats.size(); ++i) {
    pieces.push_back({answer.formats[i], nullptr, 0});
  }
  PieceCleaner cleaner{folder, pieces};
  static constexpr std::array<const char*, 2> kPieceNames{".video", ".audio"};
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    pieces[i].part =
        std::make_unique<PartFile>(folder, merge ? chosen.name + kPieceNames[i] : chosen.name);
    pieces[i].part->StartOver();
  }
  ProgressReporter progress;
  FetchPieces(pieces, progress);
  if (!merge) {
    pieces[0].part->MoveTo(chosen.name);
    pieces[0].part.reset();
  } else {
    JoinPictureAndSound(ffmpeg, folder, pieces[0].part->Name(), pieces[1].part->Name(), chosen.name,
                        mp4);
  }
  const auto written = folder.Look(chosen.name);
  progress.Finish(written ? written->size : 0);
}

}  // namespace tarnfetch
