#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

namespace tarnfetch {

// A speed limit shared by every transfer of a download, also on several
// threads: a budget that fills at the limit's rate (and holds at most
// kBurst of it), from which each received byte is taken. A transfer that
// finds the budget spent pauses until it is positive again, so that the
// total stays at the limit over any few seconds, however many connections
// share it.
class RateLimit {
 public:
  using Clock = std::chrono::steady_clock;
  // The most the budget saves up while nothing comes.
  static constexpr std::chrono::milliseconds kBurst{125};

  explicit RateLimit(std::uint64_t bytesPerSecond);

  std::uint64_t BytesPerSecond() const { return rate_; }
  // Takes bytes that arrived from the budget; it may go below zero.
  void Spend(std::uint64_t bytes);
  // True while the budget is spent: transfers wait.
  bool Spent();
  // How long until the budget is positive again; zero when it is.
  std::chrono::milliseconds Wait();
  // The read size that keeps one delivery small against the limit, so that
  // many connections resuming at once overshoot it by little.
  long ReadBytes() const;

 private:
  void Refill(Clock::time_point now);

  const std::uint64_t rate_;
  std::mutex mutex_;
  double budget_;
  Clock::time_point filled_;
};

}  // namespace tarnfetch
