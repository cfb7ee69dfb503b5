#include "download/TDownloadThread.h"

#include <exception>

#include "download/DownloaderOutput.h"
#include "missions/MissionStatus.h"
#include "shared/ProgramVocabulary.h"
#include "shared/Text.h"

namespace quillmarsh {

ConsoleCaptureThread::Options TDownloadThread::DefaultCapture() {
  // Standard input is nothing to read: a downloader reading the pipe would
  // take its own output away from us.
  return Options{std::chrono::milliseconds(500), 500, ConsoleProcess::Stdin::Null};
}

TDownloadThread::TDownloadThread(MissionHost& host, Options capture)
    : MissionWorker(host, capture, &PipelineState::RunningDownloads) {}

TDownloadThread::~TDownloadThread() {
  StopCapture();
}

void TDownloadThread::ProcessOutput() {
  if (Detached || !RowValid()) return;
  Output = std::to_string(MissionIndex) + " : " + Trim(Output);
  host_.WriteLog(Output);
  for (const std::string& line : SplitLines(Output)) {
    if (Detached || !RowValid()) return;
    InterpretLine(line);
  }
}

void TDownloadThread::InterpretLine(const std::string& line) {
  MissionModel& missions = host_.Missions();
  if (Contains(line, Marker::Go))
    host_.WriteReport(std::to_string(MissionIndex) + " Download launch");
  if (Contains(line, Marker::FileName.open)) {
    FileName = CutBetween(line, Marker::FileName.open, Marker::FileName.close);
    missions.record(MissionIndex).fileName = FileName;
    missions.recordChanged(MissionIndex);
  }
  if (Contains(line, Marker::Title.open)) {
    Title = CutBetween(line, Marker::Title.open, Marker::Title.close);
    missions.setCaption(MissionIndex, Title);
  }
  if (Contains(line, Marker::Speed.open)) UpdateProgress(line);
  if (IsCrashReportLine(line)) MarkFailed(ReasonOf(line));
  if (IsErrorLine(line)) {
    MarkFailed(ReasonOf(line));
    CallStartDownload();
  }
  // After an error the row keeps it: a later skip would start a conversion.
  if (Contains(line, Marker::Skip.open) && !failed_) Skip(line);
}

void TDownloadThread::Skip(const std::string& line) {
  MissionModel& missions = host_.Missions();
  FileName = CutBetween(line, Marker::Skip.open, Marker::Skip.close);
  host_.WriteReport("[Skip] " + Url + " -> " + FileName);
  missions.setStatus(MissionIndex, std::string(Status::SkipFileExists));
  missions.setProgress(MissionIndex, 0);
  missions.record(MissionIndex).fileName = FileName;
  missions.recordChanged(MissionIndex);
  missions.clearSpeedAndEta(MissionIndex);
  ReleaseSlot();
  host_.StartConvert();
}

void TDownloadThread::UpdateProgress(std::string_view line) {
  // A progress line after an error line does not bring the row back.
  if (Detached || !RowValid() || failed_) return;
  // Each progress line counts, not only the chunk's first: a fast download
  // prints its last progress line and its 100 % line in one chunk.
  const auto tag = ReadProgressTag(line);
  if (!tag) return;
  MissionModel& missions = host_.Missions();
  if (tag->percent == 100) {
    host_.WriteReport("[Download done] " + Url + " -> " + FileName);
    missions.record(MissionIndex).fileName = FileName;
    missions.setStatus(MissionIndex, std::string(Status::Downloaded));
    missions.setProgress(MissionIndex, 100);
    missions.clearSpeedAndEta(MissionIndex);
    missions.recordChanged(MissionIndex);
    host_.RepaintList();
    ReleaseSlot();
    host_.StartConvert();
    return;
  }
  missions.setStatus(MissionIndex, Status::DownloadingPercent(tag->percent));
  missions.setProgress(MissionIndex, tag->percent);
  missions.setSubItem(MissionIndex, SubSize, tag->size);
  missions.setSubItem(MissionIndex, SubSpeed, tag->speed);
  missions.setSubItem(MissionIndex, SubEta, tag->eta);
}

void TDownloadThread::AfterCapture() {
  const bool started = ChildStarted();
  const std::string error = StartError();
  const std::optional<int> status = ExitStatus();
  Synchronize([this, started, &error, status] { Finish(started, error, status); });
}

void TDownloadThread::Finish(bool started, const std::string& startError,
                             std::optional<int> exitStatus) {
  if (Detached) return;
  if (HoldsSlot()) {
    // Not started, or ended without a done, skip or error marker (a crash,
    // a kill): the slot would stay taken and the queue stall.
    MarkRowFailed(Status::ErrorInDownload,
                  started ? "the downloader ended without a result (exit status " +
                                std::to_string(exitStatus.value_or(-1)) + ")"
                          : startError);
    ReleaseSlot();
  } else if (failed_ && RowValid() &&
             Contains(host_.Missions().status(MissionIndex), Status::Downloading)) {
    // The slot went with an error: the row may not stay at "[Downloading]".
    MarkRowFailed(Status::ErrorInDownload, reason_);
  }
  if (host_.Pipeline().Stopping) return;
  CallStartDownload();
}

void TDownloadThread::MarkFailed(std::string reason) {
  failed_ = true;
  reason_ = std::move(reason);
  MarkRowFailed(Status::ErrorInDownload, reason_);
  ReleaseSlot();
}

std::string TDownloadThread::ReasonOf(const std::string& line) const {
  // The chunk's first line carries the row number for the log.
  const std::string prefix = std::to_string(MissionIndex) + " : ";
  return FailureText(line.compare(0, prefix.size(), prefix) == 0 ? line.substr(prefix.size())
                                                                 : line);
}

void TDownloadThread::CallStartDownload() {
  // A refused settings save must not unwind through the event loop that
  // runs this hand-over; the report keeps the reason.
  try {
    host_.StartDownload();
  } catch (const std::exception& e) {
    host_.WriteReport(e.what());
  }
}

void TDownloadThread::DownloadThreadTerminate(WorkerThread* worker) {
  auto* self = static_cast<TDownloadThread*>(worker);
  LeaveList(self->host_.Pipeline().DownloadThreads, self);
}

}  // namespace quillmarsh
