#include "missions/MissionWorker.h"

namespace quillmarsh {

MissionWorker::MissionWorker(MissionHost& host, Options capture, std::int32_t PipelineState::*slots)
    : ConsoleCaptureThread(capture), host_(host), slots_(slots) {}

void MissionWorker::TakeSlot() {
  if (holdsSlot_) return;
  holdsSlot_ = true;
  ++(host_.Pipeline().*slots_);
}

void MissionWorker::ReleaseSlot() {
  if (!holdsSlot_) return;
  holdsSlot_ = false;
  --(host_.Pipeline().*slots_);
}

void MissionWorker::Detach() {
  holdsSlot_ = false;
  ConsoleCaptureThread::Detach();
  host_.Pipeline().EndingWorkers.push_back(this);
}

void MissionWorker::Withdraw() {
  ReleaseSlot();
  Detach();
}

void MissionWorker::MarkRowFailed(std::string_view status, const std::string& reason) {
  if (!RowValid()) return;
  MissionModel& missions = host_.Missions();
  host_.WriteReport(std::string(status) + " " + missions.url(MissionIndex) + " -> " + reason);
  missions.setFailed(MissionIndex, status, reason);
}

bool MissionWorker::RowValid() const {
  return host_.Missions().isValidRow(MissionIndex);
}

}  // namespace quillmarsh
