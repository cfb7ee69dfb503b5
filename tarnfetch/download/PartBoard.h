#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "files/Span.h"

namespace tarnfetch {

// The parts of one file that a run fetches, over however many connections
// it has: parts not started yet go first; after them a free connection
// takes over all that is left of a part far slower than the others (a
// server that trickles it), else the second half of the running part with
// the most time left, so that none idles while another has much to do.
class PartBoard {
 public:
  using Clock = std::chrono::steady_clock;

  // Parts smaller than this cost more in requests than they gain.
  static constexpr std::uint64_t kMinPartBytes = 1u << 20;
  // A running part is split only when it would take this long yet.
  static constexpr auto kSplitAfter = std::chrono::seconds(1);
  // A part is far slower when it gets less than this share of the median
  // part's rate for kSlowFor.
  static constexpr double kSlowShare = 0.1;
  static constexpr auto kSlowFor = std::chrono::seconds(10);

  struct Part {
    std::uint64_t next = 0;  // the next byte to come
    std::uint64_t end = 0;   // one past the last; moved closer by a split
    bool done = false;
    std::uint64_t startedAt = 0;  // next when it started
    Clock::time_point since{};
    // Where its current rate check began.
    std::uint64_t markedAt = 0;
    Clock::time_point marked{};
    double rate = 0;  // bytes a second, once done
  };

  // The spans missing from done (sorted, [first, end)) below length, cut
  // into about `count` parts of at least kMinPartBytes. slowFor: how long a
  // part must be far slower to be taken over.
  PartBoard(const std::vector<Span>& done, std::uint64_t length, std::uint64_t count,
            Clock::duration slowFor = kSlowFor);

  // The part to fetch next; null when there is none worth
  // a connection. The part stays where it is until the board goes.
  Part* Next(Clock::time_point now);
  // Its connection delivered all of it.
  void Finish(Part& part, Clock::time_point now);

  // kSlowFor, or the seconds TARNFETCH_TEST_SLOW_PART_SECONDS gives.
  static Clock::duration SlowFor();

 private:
  Part* TakeOverSlow(Clock::time_point now);
  Part* Split(Clock::time_point now);
  double MedianRate(Clock::time_point now) const;
  Part* Add(std::uint64_t from, std::uint64_t end);

  std::vector<std::unique_ptr<Part>> parts_;
  std::size_t unstarted_ = 0;  // parts_ before this have started
  Clock::duration slowFor_ = kSlowFor;
};

}  // namespace tarnfetch
