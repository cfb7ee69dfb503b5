#include "download/TDownloadThread.h"

#include <exception>

#include "download/DownloaderOutput.h"
#include "download/RetryPlan.h"
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
  const std::string chunk = Output;
  Output = std::to_string(MissionIndex) + " : " + Trim(Output);
  host_.WriteLog(Output);
  // The marker follows the error line, most often in the same chunk.
  passingInChunk_ = Contains(Output, Marker::TryLater);
  for (const std::string& line : SplitLines(Output)) {
    if (Detached || !RowValid()) return;
    InterpretLine(line);
  }
  if (!Detached && RowValid()) ReadListLines(chunk);
}

void TDownloadThread::ReadListLines(const std::string& chunk) {
  // Thousands of entries come in many chunks; each is read once whole.
  constexpr std::size_t kLongestLine = 64 * 1024;
  partialLine_ += chunk;
  std::size_t start = 0;
  for (std::size_t end; (end = partialLine_.find('\n', start)) != std::string::npos;
       start = end + 1) {
    const std::string_view line(partialLine_.data() + start, end - start);
    if (auto video = ReadListEntry(line)) {
      if (listed_.size() < kMaxListEntries) listed_.push_back(std::move(*video));
    } else if (const auto listEnd = ReadListEnd(line)) {
      ListDone(*listEnd);
    }
  }
  partialLine_.erase(0, start);
  if (partialLine_.size() > kLongestLine) partialLine_.clear();  // no marker is this long
}

void TDownloadThread::ListDone(const ListEnd& end) {
  if (failed_ || !RowValid()) return;
  MissionModel& missions = host_.Missions();
  host_.WriteReport("[List] " + Url + " -> " + std::to_string(end.entries) + " videos");
  missions.clearSpeedAndEta(MissionIndex);
  missions.setProgress(MissionIndex, 100);
  missions.setStatus(MissionIndex, Status::ListOfVideos(static_cast<std::size_t>(end.entries)));
  ReleaseSlot();
  const TLsvData& record = missions.record(MissionIndex);
  FoundList found{Url,           std::move(listed_), end.skipped, end.cut, record.doConvert,
                  record.format, record.priority};
  listed_.clear();
  host_.ListFound(std::move(found));
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
    if (passingInChunk_)
      WaitToTryAgain(ReasonOf(line));
    else
      MarkFailed(ReasonOf(line));
    CallStartDownload();
  }
  // The marker came in a later chunk than its error line.
  if (Contains(line, Marker::TryLater) && failed_ && !waitsToTryAgain_) WaitToTryAgain(reason_);
  // After an error the row keeps it: a later skip would start a conversion.
  if (Contains(line, Marker::Skip.open) && !failed_) Skip(line);
}

void TDownloadThread::Skip(const std::string& line) {
  MissionModel& missions = host_.Missions();
  FileName = CutBetween(line, Marker::Skip.open, Marker::Skip.close);
  host_.WriteReport("[Skip] " + Url + " -> " + FileName);
  // The file first: whoever watches the status reads it.
  missions.record(MissionIndex).fileName = FileName;
  missions.setStatus(MissionIndex, std::string(Status::SkipFileExists));
  missions.setProgress(MissionIndex, 0);
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
  } else if (failed_ && !waitsToTryAgain_ && RowValid() &&
             Contains(host_.Missions().status(MissionIndex), Status::Downloading)) {
    // The slot went with an error: the row may not stay at "[Downloading]".
    MarkRowFailed(Status::ErrorInDownload, reason_);
  }
  // Failed for good: a later Reset or Retry starts with fresh tries.
  if (failed_ && !waitsToTryAgain_ && RowValid()) host_.Missions().setRetryWait(MissionIndex, {});
  if (host_.Pipeline().Stopping) return;
  CallStartDownload();
}

void TDownloadThread::MarkFailed(std::string reason) {
  failed_ = true;
  reason_ = std::move(reason);
  MarkRowFailed(Status::ErrorInDownload, reason_);
  ReleaseSlot();
}

void TDownloadThread::WaitToTryAgain(std::string reason) {
  if (!RowValid()) return;
  MissionModel& missions = host_.Missions();
  std::optional<RetryWait> wait =
      NextRetryWait(missions.record(MissionIndex).retry, reason, std::chrono::steady_clock::now());
  if (!wait) {
    MarkFailed(std::move(reason));
    return;
  }
  failed_ = waitsToTryAgain_ = true;
  reason_ = std::move(reason);
  ReleaseSlot();
  missions.clearSpeedAndEta(MissionIndex);
  missions.setStatus(MissionIndex, std::string(Status::WaitForDownload));
  host_.WriteReport(std::string(Status::WaitForDownload) + " " + Url + " -> " +
                    RetryTooltip(*wait));
  missions.setRetryWait(MissionIndex, std::move(*wait));
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
