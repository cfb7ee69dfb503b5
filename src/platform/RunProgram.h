#pragma once
// Runs a console program to its end and keeps what it printed, for a short
// question to a helper program (ffprobe). Worker threads only: it waits.

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillmarsh {

struct ProgramResult {
  std::optional<int> exitStatus;  // empty when it did not start or was ended
  std::string output;             // standard output and error, at most the limit
};

// Ends the program when `timeout` has passed or `cancelled` (asked between
// reads) returns true; output beyond `maxOutput` bytes is read and dropped.
ProgramResult RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                         const std::function<bool()>& cancelled, std::size_t maxOutput = 64 * 1024);

}  // namespace quillmarsh
