#include "pipeline/RetryTimer.h"

#include <algorithm>
#include <exception>

#include "pipeline/RowActions.h"

namespace quillmarsh {

namespace {
using Clock = std::chrono::steady_clock;
// How soon a due row whose last downloader is still ending is looked at again.
constexpr auto kWorkerEndingPause = std::chrono::milliseconds(100);
}  // namespace

RetryTimer::RetryTimer(MissionHost& host, QObject* parent) : QObject(parent), host_(host) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::CoarseTimer);
  connect(&timer_, &QTimer::timeout, this, &RetryTimer::Fire);
  connect(&host_.Missions(), &MissionModel::retryWaitsChanged, this, &RetryTimer::Rearm);
}

void RetryTimer::Rearm() {
  const MissionModel& missions = host_.Missions();
  const auto now = Clock::now();
  std::optional<Clock::time_point> earliest;
  for (int row = 0; row < missions.count(); ++row) {
    const RetryWait& wait = missions.record(row).retry;
    if (!wait.waiting) continue;
    Clock::time_point due = wait.due;
    if (due <= now && WorkerOfRowRuns(host_.Pipeline(), row)) due = now + kWorkerEndingPause;
    if (!earliest || due < *earliest) earliest = due;
  }
  if (!earliest) {
    timer_.stop();
    return;
  }
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*earliest - now);
  timer_.start(std::max(left, std::chrono::milliseconds(0)));
}

void RetryTimer::Fire() {
  MissionModel& missions = host_.Missions();
  const auto now = Clock::now();
  bool released = false;
  for (int row = 0; row < missions.count(); ++row) {
    RetryWait wait = missions.record(row).retry;
    if (!wait.waiting || wait.due > now || WorkerOfRowRuns(host_.Pipeline(), row)) continue;
    wait.waiting = false;
    missions.setRetryWait(row, std::move(wait));
    released = true;
  }
  // The timer may have come a little early, and rows may still be waiting.
  Rearm();
  if (!released) return;
  // A refused settings save must not unwind through the event loop; the
  // report keeps the reason, as after a worker's own call.
  try {
    host_.StartDownload();
  } catch (const std::exception& e) {
    host_.WriteReport(e.what());
  }
}

}  // namespace quillmarsh
