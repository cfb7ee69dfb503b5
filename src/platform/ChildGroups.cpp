#include "platform/ChildGroups.h"

#include <signal.h>

#include <array>
#include <atomic>

namespace quillmarsh::ChildGroups {

namespace {
// Far more than the downloads and conversions that can run at once; a group
// that finds no free slot is only missing from KillAll.
std::array<std::atomic<pid_t>, 256> slots{};
static_assert(std::atomic<pid_t>::is_always_lock_free, "read from a signal handler");
}  // namespace

void Add(pid_t group) {
  for (auto& slot : slots) {
    pid_t empty = 0;
    if (slot.compare_exchange_strong(empty, group)) return;
  }
}

void Remove(pid_t group) {
  for (auto& slot : slots) {
    pid_t expected = group;
    if (slot.compare_exchange_strong(expected, 0)) return;
  }
}

void KillAll() {
  for (const auto& slot : slots)
    if (const pid_t group = slot.load(); group > 0) ::kill(-group, SIGKILL);
}

}  // namespace quillmarsh::ChildGroups
