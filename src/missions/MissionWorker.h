#pragma once
// What the download and the conversion worker share: the mission they work
// for, the slot their scheduler took for them and how they leave their
// pipeline list. User-interface thread only, except where the base says.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "missions/MissionHost.h"
#include "platform/ConsoleCaptureThread.h"

namespace quillmarsh {

class MissionWorker : public ConsoleCaptureThread {
  Q_OBJECT
 public:
  // Set by the scheduler before the start.
  std::int32_t MissionIndex = -1;

  // Counts this worker in its pipeline's running counter. The scheduler
  // calls it once, before the start.
  void TakeSlot();
  bool HoldsSlot() const { return holdsSlot_; }

  // Stop: gives up the slot without counting it (Stop clears the counter),
  // ends the child, drops every later hand-over and waits among the ending
  // workers until its thread has ended.
  void Detach() override;
  // Pause: gives the slot back to the counter, then detaches as Stop does.
  void Withdraw();

  // The chunk being interpreted, and its interpretation.
  using ConsoleCaptureThread::Output;
  void ProcessOutput() override = 0;

 protected:
  // `slots` names the counter of the worker's pipeline
  // (RunningDownloads or RunningConverts).
  MissionWorker(MissionHost& host, Options capture, std::int32_t PipelineState::*slots);

  // Gives the slot back to the counter, at most once.
  void ReleaseSlot();
  // Shows the failure on the row, with the reason as its tooltip, and
  // reports both ("<status> <url> -> <reason>").
  void MarkRowFailed(std::string_view status, const std::string& reason);
  bool RowValid() const;

  // Termination handlers end with this: takes the worker off `list` (if
  // Stop has not already) and frees it once control is back in the event
  // loop. Nothing may use the worker afterwards.
  template <typename Worker>
  static void LeaveList(std::vector<Worker*>& list, Worker* worker) {
    std::erase(list, worker);
    std::erase(worker->host_.Pipeline().EndingWorkers, static_cast<MissionWorker*>(worker));
    worker->deleteLater();
  }

  MissionHost& host_;

 private:
  std::int32_t PipelineState::*const slots_;
  bool holdsSlot_ = false;
};

}  // namespace quillmarsh
