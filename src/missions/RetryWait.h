#pragma once
// A download that failed in a way that may pass (a reset connection, a
// busy server), waiting to be tried again. Kept with the mission's record
// for this run only: the mission file does not store it, so a restart
// lets the mission wait as usual.

#include <chrono>
#include <string>

namespace quillmarsh {

struct RetryWait {
  static constexpr int kMaxTries = 3;

  int tries = 0;         // tries again so far, counting the one waited for
  bool waiting = false;  // no scheduler takes the row before `due`
  std::chrono::steady_clock::time_point due{};
  std::string dueText;  // the local time of `due`, "14:05"
  std::string reason;   // the downloader's words for the fault
};

// The tooltip of a waiting row: "Trying again at 14:05 (2 of 3): <reason>".
inline std::string RetryTooltip(const RetryWait& wait) {
  return "Trying again at " + wait.dueText + " (" + std::to_string(wait.tries) + " of " +
         std::to_string(RetryWait::kMaxTries) + "): " + wait.reason;
}

}  // namespace quillmarsh
