#include "convert/TConvertThread.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

#include "convert/FfmpegCommand.h"
#include "convert/FfmpegText.h"
#include "missions/MissionStatus.h"
#include "platform/OwnTemporaryFiles.h"
#include "platform/RunProgram.h"
#include "shared/Text.h"

namespace quillmarsh {

namespace {
std::uint64_t NextWorkerNumber() {
  static std::atomic<std::uint64_t> counter{0};
  return ++counter;
}

bool NonEmptyFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  const auto size = std::filesystem::file_size(path, ec);
  return !ec && size > 0;
}
}  // namespace

ConsoleCaptureThread::Options TConvertThread::DefaultCapture() {
  return Options{std::chrono::milliseconds(100), 2000, ConsoleProcess::Stdin::Null};
}

TConvertThread::TConvertThread(MissionHost& host, Options capture)
    : MissionWorker(host, capture, &PipelineState::RunningConverts), number_(NextWorkerNumber()) {}

// AfterCapture reaches this object's members: stop before they go.
TConvertThread::~TConvertThread() {
  StopCapture();
}

bool TConvertThread::BeforeCapture() {
  if (!ProbeCommand.empty()) {
    const ProgramResult probe =
        RunProgram(ProbeCommand, std::chrono::seconds(60), [this] { return Terminated(); });
    // A file ffprobe cannot read fits nothing: ffmpeg will say why.
    if (probe.exitStatus == 0 && FitsFormat(ParseProbeOutput(probe.output), Needs)) {
      probedFits_ = true;
      return false;
    }
  }
  if (Terminated()) return true;  // the start is refused and nothing is made
  TemporaryFile = CreateOwnTemporary(OutputFile, TemporaryJournal, &createError_);
  if (TemporaryFile.empty()) return false;
  std::vector<std::string> argv = Arguments();
  argv.push_back(FfmpegFileArgument(TemporaryFile));
  SetArguments(std::move(argv));
  return true;
}

void TConvertThread::AfterCapture() {
  const std::optional<int> status = ChildStarted() ? ExitStatus() : std::nullopt;
  // ffmpeg failed or was ended: its file goes now, also when the program is
  // closing and the termination handler will not run any more. A good one
  // left by a close stays listed and goes at the next start.
  if (status != 0) RemoveTemporary();
  // Copied: the worker thread's members stay its own.
  std::string startError = ChildStarted()          ? std::string()
                           : !createError_.empty() ? createError_
                                                   : StartError();
  const bool fits = probedFits_;
  Synchronize([this, status, fits, &startError] {
    startError_ = std::move(startError);
    fits_ = fits;
    EndOfCapture(status);
  });
}

void TConvertThread::ProcessOutput() {
  if (Detached) return;
  if (!fileNamesSet_) {
    messages_.SetFileNames(Arguments());
    fileNamesSet_ = true;
  }
  messages_.Add(Output);
  Output = Trim(Output);
  host_.WriteLog(Output);
  if (Contains(Output, "Duration")) DurationText = Trim(CutBetween(Output, "Duration:", ","));
  if (Contains(Output, "time=")) {
    TimeText = Trim(CutBetween(Output, "time=", "bitrate"));
    UpdateProgress();
  }
  if (Contains(Output, "Error")) host_.WriteReport("[Error] " + GetLastLine(Output));
}

void TConvertThread::UpdateProgress() {
  const double position = TimeToSeconds(TimeText);
  const double total = TimeToSeconds(DurationText);
  // A total of 0 gives no percentage at all.
  if (position < 0 || total <= 0 || !RowValid()) return;
  const double ratio = position / total * 100;
  const int percent = ratio >= std::numeric_limits<int>::max()
                          ? std::numeric_limits<int>::max()
                          : static_cast<int>(std::trunc(ratio));
  // Exactly 100 is done for the slot; the row says "[Converted]" only once
  // ffmpeg has ended well and the file is in place.
  if (percent == 100) ReachedEnd();
  MissionModel& missions = host_.Missions();
  missions.setStatus(MissionIndex, Status::ConvertingPercent(percent));
  missions.setProgress(MissionIndex, percent);
  missions.setSubItem(MissionIndex, SubSpeed, {});
  missions.setSubItem(MissionIndex, SubEta, Trim(CutBetween(Output, "ETA", "LEND")));
}

void TConvertThread::ReachedEnd() {
  Completed = 100;
  host_.WriteReport("[Convert done] ");
  if (RowValid()) host_.Missions().clearSpeedAndEta(MissionIndex);
  ReleaseSlot();
}

void TConvertThread::MarkConverted() {
  if (Completed != 100) ReachedEnd();
  if (!RowValid()) return;
  MissionModel& missions = host_.Missions();
  missions.setStatus(MissionIndex, std::string(Status::Converted));
  missions.setProgress(MissionIndex, 100);
  missions.clearSpeedAndEta(MissionIndex);
}

void TConvertThread::MarkFits() {
  host_.WriteReport("[Skip] format ok " + OutputFile);
  if (RowValid()) {
    host_.Missions().setStatus(MissionIndex, std::string(Status::SkipFormatOk));
    host_.Missions().clearSpeedAndEta(MissionIndex);
  }
  ReleaseSlot();
}

void TConvertThread::EndOfCapture(std::optional<int> exitStatus) {
  exitStatus_ = exitStatus;
  messages_.End();
  if (Detached || host_.Pipeline().Stopping) return;
  host_.StartConvert();
}

bool TConvertThread::Succeeded() const {
  // ffmpeg has been seen to exit with 0 after a failed write, hence the
  // message and output-file checks besides the status.
  return exitStatus_ == 0 && !messages_.FatalTextSeen() && NonEmptyFile(TemporaryFile);
}

std::string TConvertThread::Publish() const {
  std::error_code ec;
  std::filesystem::rename(TemporaryFile, OutputFile, ec);
  if (ec) return "cannot rename " + TemporaryFile + " to " + OutputFile + ": " + ec.message();
  ReleaseOwnTemporary(TemporaryFile, TemporaryJournal, false);
  return {};
}

void TConvertThread::RemoveTemporary() const {
  if (!TemporaryFile.empty()) ReleaseOwnTemporary(TemporaryFile, TemporaryJournal, true);
}

void TConvertThread::Finish() {
  host_.WriteReport("[c-end] " + std::to_string(number_));
  if (fits_) {
    if (!Detached && !host_.Pipeline().Stopping) {
      MarkFits();
      host_.StartConvert();
    }
    return;
  }
  const std::string reason = Succeeded() ? Publish() : FailureReason();
  if (!reason.empty()) RemoveTemporary();
  if (Detached || host_.Pipeline().Stopping) return;
  if (reason.empty()) {
    // Also when the last "time=" fell a little short of "Duration:".
    MarkConverted();
  } else {
    MarkRowFailed(Status::ErrorInConvert, reason);
    host_.WriteReport("[Error] " + GetLastLine(Output));
    ReleaseSlot();
  }
  host_.StartConvert();
}

std::string TConvertThread::FailureReason() const {
  if (!startError_.empty()) {
    const bool found = !Arguments().empty() && !Arguments().front().empty();
    return found ? "ffmpeg could not start: " + startError_ : std::string("ffmpeg not found");
  }
  if (!messages_.LastError().empty()) return messages_.LastError();
  if (exitStatus_.value_or(0) != 0)
    return "ffmpeg ended with exit status " + std::to_string(*exitStatus_);
  if (!NonEmptyFile(TemporaryFile)) return "ffmpeg wrote no output file: " + OutputFile;
  return "ffmpeg ended without a result";
}

void TConvertThread::ConvertThreadTerminate(WorkerThread* worker) {
  auto* self = static_cast<TConvertThread*>(worker);
  self->Finish();
  LeaveList(self->host_.Pipeline().ConvertThreads, self);
}

}  // namespace quillmarsh
