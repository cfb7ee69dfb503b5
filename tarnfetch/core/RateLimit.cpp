#include "core/RateLimit.h"

#include <algorithm>
#include <cmath>

namespace tarnfetch {
namespace {

// libcurl's smallest and largest read buffers.
constexpr long kLeastRead = 16 * 1024;
constexpr long kMostRead = 512 * 1024;
// Reads per second at the limit: 16 connections then hold at most a
// quarter of a second's bytes between them.
constexpr std::uint64_t kReadsPerSecond = 64;

double Seconds(std::chrono::milliseconds time) {
  return std::chrono::duration<double>(time).count();
}

}  // namespace

RateLimit::RateLimit(std::uint64_t bytesPerSecond)
    : rate_(std::max<std::uint64_t>(bytesPerSecond, 1)),
      budget_(static_cast<double>(rate_) * Seconds(kBurst)),
      filled_(Clock::now()) {}

void RateLimit::Refill(Clock::time_point now) {
  const double elapsed = std::chrono::duration<double>(now - filled_).count();
  filled_ = now;
  const double most = static_cast<double>(rate_) * Seconds(kBurst);
  budget_ = std::min(most, budget_ + elapsed * static_cast<double>(rate_));
}

void RateLimit::Spend(std::uint64_t bytes) {
  const std::lock_guard lock(mutex_);
  Refill(Clock::now());
  budget_ -= static_cast<double>(bytes);
}

bool RateLimit::Spent() {
  const std::lock_guard lock(mutex_);
  Refill(Clock::now());
  return budget_ < 0;
}

std::chrono::milliseconds RateLimit::Wait() {
  const std::lock_guard lock(mutex_);
  Refill(Clock::now());
  if (budget_ >= 0) return std::chrono::milliseconds(0);
  const double seconds = -budget_ / static_cast<double>(rate_);
  return std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(seconds * 1000)));
}

long RateLimit::ReadBytes() const {
  return static_cast<long>(
      std::clamp<std::uint64_t>(rate_ / kReadsPerSecond, kLeastRead, kMostRead));
}

}  // namespace tarnfetch
