#include "download/PartBoard.h"

#include <algorithm>
#include <cstdlib>

#include "shared/Numbers.h"

namespace tarnfetch {

PartBoard::PartBoard(const std::vector<Span>& done, std::uint64_t length, std::uint64_t count,
                     Clock::duration slowFor)
    : slowFor_(slowFor) {
  std::vector<Span> missing;
  std::uint64_t at = 0;
  for (const auto& [first, end] : done) {
    if (first > at) missing.push_back({at, std::min(first, length)});
    at = std::max(at, end);
  }
  if (at < length) missing.push_back({at, length});
  std::uint64_t total = 0;
  for (const auto& [first, end] : missing) total += end - first;
  count = std::max<std::uint64_t>(count, 1);
  const std::uint64_t size = std::max(kMinPartBytes, (total + count - 1) / count);
  for (const auto& [first, end] : missing) {
    for (std::uint64_t from = first; from < end; from += size) {
      Add(from, std::min(end, from + size));
    }
  }
}

PartBoard::Clock::duration PartBoard::SlowFor() {
  const char* seconds = std::getenv("TARNFETCH_TEST_SLOW_PART_SECONDS");
  if (const auto given = quillmarsh::ReadWholeNumber<int>(seconds != nullptr ? seconds : "");
      given && *given > 0) {
    return std::chrono::seconds(*given);
  }
  return kSlowFor;
}

PartBoard::Part* PartBoard::Add(std::uint64_t from, std::uint64_t end) {
  auto part = std::make_unique<Part>();
  part->next = from;
  part->end = end;
  parts_.push_back(std::move(part));
  return parts_.back().get();
}

PartBoard::Part* PartBoard::Next(Clock::time_point now) {
  Part* part = nullptr;
  if (unstarted_ < parts_.size()) {
    part = parts_[unstarted_++].get();
  } else {
    part = TakeOverSlow(now);
    if (part == nullptr) part = Split(now);
    unstarted_ = parts_.size();  // a new part starts at once
  }
  if (part == nullptr) return nullptr;
  part->startedAt = part->markedAt = part->next;
  part->since = part->marked = now;
  return part;
}

void PartBoard::Finish(Part& part, Clock::time_point now) {
  part.done = true;
  const std::chrono::duration<double> took = now - part.since;
  if (took.count() > 0) part.rate = static_cast<double>(part.next - part.startedAt) / took.count();
}

double PartBoard::MedianRate(Clock::time_point now) const {
  std::vector<double> rates;
  for (std::size_t i = 0; i < unstarted_ && i < parts_.size(); ++i) {
    const Part& part = *parts_[i];
    const std::chrono::duration<double> running = now - part.since;
    if (part.done && part.rate > 0) {
      rates.push_back(part.rate);
    } else if (!part.done && running >= kSplitAfter / 4) {
      rates.push_back(static_cast<double>(part.next - part.startedAt) / running.count());
    }
  }
  if (rates.empty()) return 0;
  std::nth_element(rates.begin(), rates.begin() + rates.size() / 2, rates.end());
  return rates[rates.size() / 2];
}

PartBoard::Part* PartBoard::TakeOverSlow(Clock::time_point now) {
  const double median = MedianRate(now);
  for (std::size_t i = 0; i < unstarted_ && i < parts_.size(); ++i) {
    Part& part = *parts_[i];
    if (part.done || part.next >= part.end || now - part.marked < slowFor_) continue;
    const std::chrono::duration<double> looked = now - part.marked;
    const double rate = static_cast<double>(part.next - part.markedAt) / looked.count();
    if (rate >= kSlowShare * median) {
      // It kept up this time; the next check starts from here.
      part.markedAt = part.next;
      part.marked = now;
      continue;
    }
    // All that is left goes to the free connection; the slow one ends
    // where it is.
    const std::uint64_t from = part.next;
    const std::uint64_t end = part.end;
    part.end = from;
    return Add(from, end);
  }
  return nullptr;
}

PartBoard::Part* PartBoard::Split(Clock::time_point now) {
  Part* longest = nullptr;
  double longestSeconds = 0;
  for (const auto& part : parts_) {
    if (part->done || part->end - part->next < 2 * kMinPartBytes) continue;
    const std::chrono::duration<double> running = now - part->since;
    const std::uint64_t got = part->next - part->startedAt;
    // A part that has not shown its rate yet is left alone.
    if (got == 0 || running < kSplitAfter / 4) continue;
    const double seconds =
        static_cast<double>(part->end - part->next) * running.count() / static_cast<double>(got);
    if (seconds > longestSeconds) {
      longest = part.get();
      longestSeconds = seconds;
    }
  }
  if (longest == nullptr || longestSeconds < std::chrono::duration<double>(kSplitAfter).count()) {
    return nullptr;
  }
  const std::uint64_t middle = longest->next + (longest->end - longest->next) / 2;
  const std::uint64_t end = longest->end;
  longest->end = middle;
  return Add(middle, end);
}

}  // namespace tarnfetch
