#pragma once

#include <atomic>

namespace tarnfetch {

// Asks transfers running on other threads to end soon: each looks at it
// while it waits for data and then fails with FetchError, keeping what it
// wrote for the next run.
class StopFlag {
 public:
  void Raise() { raised_.store(true, std::memory_order_relaxed); }
  bool Raised() const { return raised_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> raised_{false};
};

}  // namespace tarnfetch
