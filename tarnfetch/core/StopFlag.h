#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>

namespace tarnfetch {

// Asks transfers running on other threads to end soon: each looks at it
// while it waits for data and then fails with FetchError, keeping what it
// wrote for the next run. It may also raise itself at a deadline.
class StopFlag {
 public:
  using Clock = std::chrono::steady_clock;

  void Raise() { raised_.store(true, std::memory_order_relaxed); }
  void RaiseAt(Clock::time_point when) {
    deadline_.store(when.time_since_epoch().count(), std::memory_order_relaxed);
  }
  bool Raised() const {
    return raised_.load(std::memory_order_relaxed) ||
           Clock::now().time_since_epoch().count() >= deadline_.load(std::memory_order_relaxed);
  }

 private:
  std::atomic<bool> raised_{false};
  std::atomic<Clock::rep> deadline_{std::numeric_limits<Clock::rep>::max()};
};

}  // namespace tarnfetch
