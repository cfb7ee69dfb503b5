#include "support/ProgramRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/ConsoleProcess.h"

namespace quillmarsh {

std::vector<std::string> RunResult::Starting(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const auto& line : lines) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

std::string RunResult::Text() const {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

RunResult RunProgram(const std::vector<std::string>& argv) {
  RunResult result;
  ConsoleProcess child;
  std::string error;
  if (!child.Start(argv, ConsoleProcess::Stdin::Null, &error)) {
    ADD_FAILURE() << "cannot start " << argv[0] << ": " << error;
    return result;
  }
  // Reads wait for output, so the deadline is kept from another thread.
  std::mutex lock;
  std::condition_variable ended;
  bool done = false, killed = false;
  std::thread deadline([&] {
    std::unique_lock guard(lock);
    if (!ended.wait_for(guard, std::chrono::seconds(20), [&] { return done; })) {
      killed = true;
      child.Terminate();
    }
  });
  std::string output;
  for (;;) {
    const auto waited = child.Wait(std::chrono::milliseconds(100));
    const std::string chunk = child.Read(4096);
    output += chunk;
    if (waited == ConsoleProcess::WaitResult::Exited && chunk.empty()) break;
  }
  {
    std::lock_guard guard(lock);
    done = true;
  }
  ended.notify_one();
  deadline.join();
  if (!killed && child.ExitStatus()) result.exitCode = *child.ExitStatus();
  std::istringstream stream(output);
  for (std::string line; std::getline(stream, line);) result.lines.push_back(line);
  return result;
}

}  // namespace quillmarsh
