#pragma once

#include <chrono>
#include <cstdint>

namespace tarnfetch {

// The progress line of a stream, at most four a second: the percent from
// the segments written (by their durations when the playlist gives them),
// the size estimated from the bytes so far, and 100 only from Finish, once
// the final file is in place.
class StreamProgress {
 public:
  using Clock = std::chrono::steady_clock;

  // totalSeconds 0: the playlist gives no durations; count segments.
  StreamProgress(double totalSeconds, std::size_t segments);

  // `doneSeconds` and `doneSegments` are written, `bytes` in the ".part"
  // (earlier runs included); `received` bytes came in this run.
  void Update(double doneSeconds, std::size_t doneSegments, std::uint64_t bytes,
              std::uint64_t received);
  // The final file is in place.
  void Finish(std::uint64_t size);

 private:
  double totalSeconds_;
  std::size_t segments_;
  Clock::time_point started_ = Clock::now();
  Clock::time_point lastPrinted_{};
  bool printedAny_ = false;
  std::uint64_t received_ = 0;
};

}  // namespace tarnfetch
