#pragma once
// The conversion worker's reading of ffmpeg's output: the input is ffmpeg's
// console stream, read in chunks as the capture loop reads it, each chunk
// interpreted by the real TConvertThread::ProcessOutput. Input byte 0 picks
// the read size, bit 1 of byte 1 whether the capture ends (an ffmpeg that
// could not be started or left no output: the termination handler runs;
// bit 0 once chose debug mode, which the worker no longer asks about). The
// rest is the stream.

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <cmath>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "convert/FfmpegText.h"
#include "convert/TConvertThread.h"
#include "missions/MissionStatus.h"
#include "support/QtTestApp.h"
#include "support/TestHost.h"

namespace fuzz {

using namespace quillmarsh;

class ConvertWorker : public TConvertThread {
 public:
  using TConvertThread::Output;
  using TConvertThread::TConvertThread;
  void Interpret(std::string chunk) {
    Output = std::move(chunk);
    ProcessOutput();
  }
  void EndCapture() { AfterCapture(); }
};

inline void CheckTimeText(std::string_view text) {
  const double seconds = TimeToSeconds(text);
  FUZZ_CHECK(seconds == -1 || (std::isfinite(seconds) && seconds >= 0));
  if (text.size() != 11) FUZZ_CHECK(seconds == -1);
}

inline void CheckConvertRow(const MissionModel& missions, int row) {
  const std::string& status = missions.status(row);
  const int progress = missions.record(row).progress;
  if (status == Status::Converted) {
    FUZZ_CHECK(progress == 100);
  } else if (status != Status::Converting && status != Status::ErrorInConvert) {
    FUZZ_CHECK(status == Status::ConvertingPercent(progress));
    FUZZ_CHECK(progress >= 0 && progress != 100);
  }
  FUZZ_CHECK(missions.subItem(row, SubSpeed).empty());
  FUZZ_CHECK(IsTrimmed(missions.subItem(row, SubEta)));
}

inline void RunConvertChunks(std::string_view data) {
  if (data.size() < 2) return;
  EnsureQtApp();
  const auto sizeByte = static_cast<unsigned char>(data[0]);
  const auto flags = static_cast<unsigned char>(data[1]);
  data.remove_prefix(2);
  const std::size_t readSize = sizeByte == 0 ? 2000 : std::min<std::size_t>(sizeByte * 8u, 2000);
  const bool endCapture = (flags & 2) != 0;

  TestHost host;
  host.missions.addLsvItem("https://example.test/a", std::string(Status::Converting), 0, "5.0M",
                           "Clip", "/tmp/clip.mp4", true, "MP3 Audio(.mp3)", "Quality First");
  host.missions.addLsvItem("https://example.test/b", std::string(Status::WaitForConvert), 0, "",
                           "Other", "/tmp/other.mp4", true, "", "");
  auto* worker = new ConvertWorker(host);
  worker->MissionIndex = 0;
  worker->TakeSlot();
  host.pipeline.ConvertThreads.push_back(worker);

  ForEachChunk(data, readSize, [&](std::string chunk) {
    worker->Interpret(std::move(chunk));
    const std::string& out = worker->Output;
    FUZZ_CHECK(IsTrimmed(out));
    const std::string last = GetLastLine(out);
    FUZZ_CHECK(!HasLineBreak(last));
    FUZZ_CHECK(out.size() >= last.size() &&
               out.compare(out.size() - last.size(), last.size(), last) == 0);
    FUZZ_CHECK(IsTrimmed(worker->DurationText) && IsTrimmed(worker->TimeText));
    CheckTimeText(worker->DurationText);
    CheckTimeText(worker->TimeText);
    FUZZ_CHECK(worker->Completed == 0 || worker->Completed == 100);
    FUZZ_CHECK(host.pipeline.RunningConverts == (worker->HoldsSlot() ? 1 : 0));
    // Only a report of exactly 100 percent gives the slot back during the run.
    FUZZ_CHECK(worker->HoldsSlot() == (worker->Completed != 100));
    CheckConvertRow(host.missions, 0);
  });

  if (endCapture) {
    const int convertsBefore = host.startConvertCalls;
    worker->EndCapture();
    FUZZ_CHECK(host.startConvertCalls == convertsBefore + 1);
    // No ffmpeg ran, so there is no exit status: the conversion failed,
    // whatever its output said, and the slot is given back once.
    QPointer<QObject> alive(worker);
    TConvertThread::ConvertThreadTerminate(worker);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    FUZZ_CHECK(alive.isNull());
    FUZZ_CHECK(host.pipeline.ConvertThreads.empty());
    FUZZ_CHECK(host.pipeline.RunningConverts == 0);
    FUZZ_CHECK(host.missions.status(0) == Status::ErrorInConvert);
    FUZZ_CHECK(host.startConvertCalls == convertsBefore + 2);
  } else {
    host.pipeline.ConvertThreads.clear();
    delete worker;
  }

  FUZZ_CHECK(host.missions.count() == 2);
  FUZZ_CHECK(host.missions.status(1) == Status::WaitForConvert);
  FUZZ_CHECK(host.missions.record(1).progress == 0);
}

}  // namespace fuzz
