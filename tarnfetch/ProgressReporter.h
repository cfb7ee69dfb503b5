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
  Clock::time_point started_{};
  Clock::time_point lastPrinted_{};
  bool printedAny_ = false;
};

}  // namespace tarnfetch
