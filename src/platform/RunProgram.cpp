#include "platform/RunProgram.h"

#include "platform/ConsoleProcess.h"

namespace quillmarsh {

ProgramResult RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                         const std::function<bool()>& cancelled, std::size_t maxOutput) {
  using namespace std::chrono_literals;
  ProgramResult result;
  ConsoleProcess process;
  if (!process.Start(argv, ConsoleProcess::Stdin::Null)) return result;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const bool ended = process.Wait(50ms) == ConsoleProcess::WaitResult::Exited;
    const std::string chunk = process.Read(4096, 50ms);
    result.output.append(chunk, 0, maxOutput - std::min(maxOutput, result.output.size()));
    if (ended && chunk.empty()) break;
    if (ended) continue;
    if ((cancelled && cancelled()) || std::chrono::steady_clock::now() >= deadline) {
      process.Terminate();
      process.Wait(5s);
      return result;
    }
  }
  result.exitStatus = process.ExitStatus();
  return result;
}

}  // namespace quillmarsh
