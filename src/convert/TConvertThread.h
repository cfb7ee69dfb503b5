#pragma once
// One conversion: runs ffmpeg, hands each chunk of its console output to
// the user-interface thread and turns "Duration:" and "time=" into the
// row's percentage. Created and started by StartConvert.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "missions/MissionHost.h"
#include "platform/ConsoleCaptureThread.h"

class TConvertThread : public ConsoleCaptureThread {
  Q_OBJECT
 public:
  explicit TConvertThread(MissionHost& host);
  ~TConvertThread() override;

  // Set by StartConvert before the start, together with SetArguments
  // (argv[0] empty when ffmpeg was not found: the start then fails).
  std::int32_t MissionIndex = -1;
  std::string CommandLine;  // the text the report shows
  std::string OutputFile;   // must exist and be non-empty for success

  // User-interface thread only (Output, the chunk, is the base class's).
  std::string DurationText;
  std::string TimeText;
  std::int32_t Completed = 0;  // 100 once a progress report reached 100 percent
  bool HoldsSlot = true;       // the slot StartConvert took is released once only

  // Identifies the worker in the "[c-start] " and "[c-end] " report lines.
  std::uint64_t Number() const { return number_; }

  void UpdateProgress();

  // Termination handler: decides success or failure, releases the slot,
  // takes the worker off ConvertThreads and frees it.
  static void ConvertThreadTerminate(WorkerThread* worker);

 protected:
  void ProcessOutput() override;
  void AfterCapture() override;

 private:
  void EndOfCapture(std::optional<int> exitStatus);
  void Finish();
  void Complete();
  void ReleaseSlot();
  bool Succeeded() const;
  bool RowValid() const;

  MissionHost& host_;
  const std::uint64_t number_;
  std::optional<int> exitStatus_;  // set by the last hand-over
  std::string recentOutput_;       // end of the previous chunk: a message can span two
  bool fatalTextSeen_ = false;
};
