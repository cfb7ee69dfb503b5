#pragma once
// One conversion: runs ffmpeg, hands each chunk of its console output to
// the user-interface thread and turns "Duration:" and "time=" into the
// row's percentage. Created, filled and started by StartWaitingConversions;
// freed by its termination handler.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "convert/FfmpegMessages.h"
#include "convert/FormatFit.h"
#include "missions/MissionWorker.h"

namespace quillmarsh {

class TConvertThread : public MissionWorker {
  Q_OBJECT
 public:
  // Passes of at most 100 ms and 2000 bytes.
  explicit TConvertThread(MissionHost& host, Options capture = DefaultCapture());
  static Options DefaultCapture();
  ~TConvertThread() override;

  // Set by the scheduler before the start, together with SetArguments
  // (argv[0] empty when ffmpeg was not found: the start then fails; the
  // file to write is added by the worker).
  std::string CommandLine;       // the text the report shows
  std::string OutputFile;        // the converted file; appears only on success
  std::string TemporaryJournal;  // where the temporary files are noted
  // Set when the file may already fit the format: the worker asks ffprobe
  // first and, when it does fit, runs no ffmpeg ("[Skip] format ok").
  std::vector<std::string> ProbeCommand;
  FormatNeeds Needs;

  // What ffmpeg writes, made by the worker thread before ffmpeg starts,
  // read by the user-interface thread after the last hand-over. Renamed to
  // OutputFile on success, removed otherwise.
  std::string TemporaryFile;

  // User-interface thread only.
  std::string DurationText;
  std::string TimeText;
  std::int32_t Completed = 0;  // 100 once a progress report reached 100 percent

  // Identifies the worker in the "[c-start] " and "[c-end] " report lines.
  std::uint64_t Number() const { return number_; }

  // User-interface thread: interpret `Output` (one chunk).
  void ProcessOutput() override;
  void UpdateProgress();

  // Termination handler: decides success or failure (a stopped or paused
  // conversion keeps its file only when ffmpeg had already succeeded), shows
  // "[Converted]" once the file is in place (or "[Skip] format ok" when the
  // file already fitted), releases the slot, takes the worker off
  // ConvertThreads (if Stop has not already) and frees it. Nothing may use
  // the worker afterwards.
  static void ConvertThreadTerminate(WorkerThread* worker);

 protected:
  bool BeforeCapture() override;
  void AfterCapture() override;

 private:
  void EndOfCapture(std::optional<int> exitStatus);
  void Finish();
  // The 100 % report, or ffmpeg's good end without one: the slot goes.
  void ReachedEnd();
  void MarkConverted();
  void MarkFits();
  bool Succeeded() const;
  // Renames the temporary file to the output file; the error, or empty.
  std::string Publish() const;
  void RemoveTemporary() const;
  // Why a conversion that did not succeed failed, for the row's tooltip.
  std::string FailureReason() const;

  const std::uint64_t number_;
  std::optional<int> exitStatus_;  // set by the last hand-over
  std::string startError_;         // why ffmpeg could not start; set by the last hand-over
  bool fits_ = false;              // the file already fitted; set by the last hand-over
  // Worker thread until the last hand-over.
  bool probedFits_ = false;
  std::string createError_;
  FfmpegMessages messages_;  // a message can span two chunks
  bool fileNamesSet_ = false;
};

}  // namespace quillmarsh
