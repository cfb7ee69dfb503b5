#include "download/RetryPlan.h"

#include <ctime>

namespace quillmarsh {

namespace {
using namespace std::chrono_literals;
constexpr RetryDelays kDelays{30s, 2min, 10min};

std::optional<RetryDelays>& DelaysForTests() {
  static std::optional<RetryDelays> delays;
  return delays;
}

// "14:05" in local time, `ahead` from now.
std::string LocalClockIn(std::chrono::milliseconds ahead) {
  const std::time_t at = std::chrono::system_clock::to_time_t(
      std::chrono::system_clock::now() + std::chrono::ceil<std::chrono::seconds>(ahead));
  std::tm local{};
  localtime_r(&at, &local);
  char text[8];
  std::strftime(text, sizeof text, "%H:%M", &local);
  return text;
}
}  // namespace

const RetryDelays& RetryDelaysInUse() {
  return DelaysForTests() ? *DelaysForTests() : kDelays;
}

void SetRetryDelaysForTests(std::optional<RetryDelays> delays) {
  DelaysForTests() = delays;
}

std::optional<RetryWait> NextRetryWait(const RetryWait& previous, std::string reason,
                                       std::chrono::steady_clock::time_point now) {
  if (previous.tries >= RetryWait::kMaxTries) return std::nullopt;
  RetryWait next;
  next.tries = previous.tries + 1;
  const std::chrono::milliseconds delay = RetryDelaysInUse()[next.tries - 1];
  next.waiting = true;
  next.due = now + delay;
  next.dueText = LocalClockIn(delay);
  next.reason = std::move(reason);
  return next;
}

}  // namespace quillmarsh
