#pragma once
// When a download that failed with a passing fault is tried again: after
// 30 seconds, 2 minutes and 10 minutes, then it fails for good. Plain C++.

#include <array>
#include <chrono>
#include <optional>
#include <string>

#include "missions/RetryWait.h"

namespace quillmarsh {

using RetryDelays = std::array<std::chrono::milliseconds, RetryWait::kMaxTries>;

// The waits before the first, second and third try again.
const RetryDelays& RetryDelaysInUse();
// Tests shorten the waits; nothing (the default) restores them.
void SetRetryDelaysForTests(std::optional<RetryDelays> delays);

// The wait after one more passing fault of a mission whose earlier waits
// were `previous`, from `now`; nothing when its tries are used up.
std::optional<RetryWait> NextRetryWait(const RetryWait& previous, std::string reason,
                                       std::chrono::steady_clock::time_point now);

}  // namespace quillmarsh
