#include "download/PartBoard.h"

#include <algorithm>

namespace tarnfetch {

PartBoard::PartBoard(const std::vector<Span>& done, std::uint64_t length, std::uint64_t count) {
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
      auto part = std::make_unique<Part>();
      part->next = from;
      part->end = std::min(end, from + size);
      parts_.push_back(std::move(part));
    }
  }
}

PartBoard::Part* PartBoard::Next(Clock::time_point now) {
  Part* part = unstarted_ < parts_.size() ? parts_[unstarted_++].get() : Split(now);
  if (part == nullptr) return nullptr;
  part->startedAt = part->next;
  part->since = now;
  return part;
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
  auto half = std::make_unique<Part>();
  half->next = longest->next + (longest->end - longest->next) / 2;
  half->end = longest->end;
  longest->end = half->next;
  parts_.push_back(std::move(half));
  unstarted_ = parts_.size();
  return parts_.back().get();
}

}  // namespace tarnfetch
