#include "http/ConnectionPlan.h"

#include <algorithm>

namespace tarnfetch {

ConnectionPlan::ConnectionPlan(int count, bool fixed, Measure measure)
    : count_(std::clamp(count, 1, kMost)), fixed_(fixed), measure_(measure) {
  settled_ = fixed_;
}

ConnectionPlan ConnectionPlan::Fixed(int count) {
  return ConnectionPlan(count, true, Measure::Bytes);
}

ConnectionPlan ConnectionPlan::Adaptive(int start, Measure measure) {
  return ConnectionPlan(start, false, measure);
}

std::chrono::milliseconds ConnectionPlan::Window(std::chrono::milliseconds roundTrip) {
  return std::clamp(kRoundTrips * roundTrip, kShortestWindow, kLongestWindow);
}

bool ConnectionPlan::Judgeable(const Sample& sample) const {
  // Slots left idle (the end of the work, retries waiting) say nothing
  // about the server.
  if (sample.busy < kBusy * count_ || sample.total <= 0) return false;
  if (measure_ == Measure::Segments) return true;
  // Without a connection that ran through the window, the average one.
  if (sample.fastest <= 0) return sample.total / sample.busy < kHeldBelow;
  return sample.fastest < kHeldBelow && sample.slowest >= kEven * sample.fastest;
}

void ConnectionPlan::Grow() {
  const int next = std::min({count_ * 2, ceiling_, kMost});
  if (next <= count_) {
    settled_ = true;
    return;
  }
  count_ = next;
}

void ConnectionPlan::Measured(const Sample& sample) {
  if (settled_ || !Judgeable(sample)) return;
  if (paidCount_ > 0 && count_ > paidCount_ && sample.total < paidTotal_ * (1 + kClearGain)) {
    count_ = paidCount_;  // the step did not pay
    settled_ = true;
    return;
  }
  paidCount_ = count_;
  paidTotal_ = sample.total;
  Grow();
}

bool ConnectionPlan::Overloaded() {
  if (fixed_ || count_ <= 1) return false;
  --count_;
  ceiling_ = count_;
  settled_ = true;
  return true;
}

}  // namespace tarnfetch
