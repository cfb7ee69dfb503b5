#include "core/RunTogether.h"

#include <exception>
#include <mutex>
#include <thread>

#include "core/StopFlag.h"

namespace tarnfetch {

void RunTogether(const std::vector<std::function<void()>>& jobs, StopFlag& stop) {
  std::mutex mutex;
  std::exception_ptr first;
  std::vector<std::thread> threads;
  threads.reserve(jobs.size());
  {
    // Joined however the start of a later thread ends: none outlives us.
    struct Joiner {
      std::vector<std::thread>& threads;
      ~Joiner() {
        for (std::thread& thread : threads) thread.join();
      }
    } joiner{threads};
    try {
      for (const auto& job : jobs) {
        threads.emplace_back([&job, &mutex, &first, &stop] {
          try {
            job();
          } catch (...) {
            const std::lock_guard lock(mutex);
            if (!first) first = std::current_exception();
            stop.Raise();
          }
        });
      }
    } catch (...) {
      stop.Raise();
      throw;
    }
  }
  if (first) std::rethrow_exception(first);
}

}  // namespace tarnfetch
