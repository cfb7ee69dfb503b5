#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace tarnfetch {

// Prints the progress lines of one download, at most four a second. The
// percent counts what an earlier run left in the ".part" file; the speed
// only this run's bytes.
class ProgressReporter {
 public:
  using Clock = std::chrono::steady_clock;

  // The transfers that follow fill one of several files shown as one line:
  // the others hold `before` bytes, all of them together `whole`.
  void Within(std::uint64_t before, std::optional<std::uint64_t> whole) {
    before_ = before;
    whole_ = whole;
    spanning_ = true;
  }
  // A new transfer: `resumedFrom` bytes were there before it began.
  void Start(std::uint64_t resumedFrom, std::optional<std::uint64_t> total);
  // This run has received `received` bytes so far.
  void Update(std::uint64_t received);
  // The file is complete in its final place: the one line that says 100.
  void Finish(std::uint64_t size);

 private:
  std::optional<double> Speed(bool final) const;
  void Print(std::uint64_t received);

  std::uint64_t resumedFrom_ = 0;
  std::uint64_t received_ = 0;
  std::optional<std::uint64_t> total_;
  std::uint64_t before_ = 0;
  std::optional<std::uint64_t> whole_;
  bool spanning_ = false;
  Clock::time_point started_{};
  Clock::time_point lastPrinted_{};
  bool printedAny_ = false;
};

}  // namespace tarnfetch
