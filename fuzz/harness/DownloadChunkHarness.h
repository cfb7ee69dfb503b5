#pragma once
// The download worker's reading of the downloader's output: the input is the
// downloader's console stream, read in chunks as the capture loop reads it,
// each chunk interpreted by the real TDownloadThread::ProcessOutput on the
// user-interface thread. Input byte 0 picks the read size and whether the
// capture's end follows; the rest is the stream.

#include <cmath>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "download/DownloaderOutput.h"
#include "download/TDownloadThread.h"
#include "missions/MissionStatus.h"
#include "shared/Numbers.h"
#include "shared/Text.h"
#include "support/QtTestApp.h"
#include "support/TestHost.h"

namespace fuzz {

using namespace quillmarsh;

// The worker with the end of the capture reachable without a child.
class DownloadWorker : public TDownloadThread {
 public:
  using TDownloadThread::TDownloadThread;
  void EndCapture() { AfterCapture(); }
};

inline void CheckDownloaderLine(std::string_view line) {
  const std::string bare = WithoutTagValues(line);
  FUZZ_CHECK(bare.size() <= line.size());
  // Taking out tag values can hide a marker, never make one.
  if (IsErrorLine(line)) FUZZ_CHECK(Contains(UpperAscii(line), "ERROR"));
  if (IsCrashReportLine(line)) FUZZ_CHECK(Contains(line, "Traceback"));
  if (!Contains(line, "title>") && !Contains(line, "filename>") && !Contains(line, "skip>"))
    FUZZ_CHECK(bare == line);

  const auto tag = ReadProgressTag(line);
  if (!tag) return;
  const auto open = line.find("<speed>");
  FUZZ_CHECK(open != std::string_view::npos);
  FUZZ_CHECK(line.find('%', open) != std::string_view::npos);
  double value = 0;
  FUZZ_CHECK(ParseDecimal(Trim(CutBetween(line.substr(open), "<speed>", "%")), value));
  FUZZ_CHECK(static_cast<double>(tag->percent) == std::trunc(value));
  for (const std::string* cell : {&tag->size, &tag->speed, &tag->eta})
    FUZZ_CHECK(IsTrimmed(*cell) && !HasLineBreak(*cell));
}

// The row's status is one the worker may write, and agrees with its progress.
inline void CheckDownloadRow(const MissionModel& missions, int row) {
  const std::string& status = missions.status(row);
  const int progress = missions.record(row).progress;
  if (status == Status::Downloaded) {
    FUZZ_CHECK(progress == 100);
  } else if (status == Status::SkipFileExists) {
    FUZZ_CHECK(progress == 0);
  } else if (status != Status::Downloading && status != Status::ErrorInDownload) {
    FUZZ_CHECK(status == Status::DownloadingPercent(progress));
    FUZZ_CHECK(progress != 100);
  }
  FUZZ_CHECK(!HasLineBreak(missions.caption(row)));
  FUZZ_CHECK(!HasLineBreak(missions.record(row).fileName));
  for (SubItem cell : {SubSize, SubSpeed, SubEta})
    FUZZ_CHECK(IsTrimmed(missions.subItem(row, cell)) &&
               !HasLineBreak(missions.subItem(row, cell)));
}

inline void RunDownloadChunks(std::string_view data) {
  if (data.empty()) return;
  EnsureQtApp();
  const auto control = static_cast<unsigned char>(data.front());
  data.remove_prefix(1);
  const std::size_t readSize =
      (control & 0x7F) == 0 ? 500 : std::min<std::size_t>((control & 0x7F) * 4, 500);
  const bool endCapture = (control & 0x80) != 0;

  TestHost host;
  host.onStartDownload = [] {};  // counted only: the other mission stays waiting
  const std::string url = "https://example.test/watch?v=abc";
  host.missions.addLsvItem(url, std::string(Status::Downloading), 0, "", "", "", true, "", "");
  host.missions.addLsvItem("https://example.test/other", std::string(Status::WaitForDownload), 0,
                           "1.0M", "Other", "other.mp4", false, "", "");
  DownloadWorker worker(host);
  worker.MissionIndex = 0;
  worker.Url = url;
  worker.TakeSlot();

  ForEachChunk(data, readSize, [&](std::string chunk) {
    for (const std::string& line : SplitLines(chunk)) CheckDownloaderLine(line);
    worker.Output = std::move(chunk);
    worker.ProcessOutput();
    FUZZ_CHECK(worker.Output.rfind("0 : ", 0) == 0);
    FUZZ_CHECK(host.pipeline.RunningDownloads == (worker.HoldsSlot() ? 1 : 0));
    FUZZ_CHECK(host.missions.record(0).fileName == worker.FileName);
    CheckDownloadRow(host.missions, 0);
  });
  if (endCapture) {
    const bool held = worker.HoldsSlot();
    worker.EndCapture();
    FUZZ_CHECK(host.pipeline.RunningDownloads == 0);
    // A downloader that ended without a done, skip or error marker failed.
    if (held) FUZZ_CHECK(host.missions.status(0) == Status::ErrorInDownload);
  }

  // The other mission is never touched.
  FUZZ_CHECK(host.missions.count() == 2);
  FUZZ_CHECK(host.missions.status(1) == Status::WaitForDownload);
  FUZZ_CHECK(host.missions.caption(1) == "Other");
  FUZZ_CHECK(host.missions.subItem(1, SubSize) == "1.0M");
  FUZZ_CHECK(host.missions.record(1).fileName == "other.mp4");
}

}  // namespace fuzz
