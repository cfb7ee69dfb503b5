#pragma once
// The sending side of the hand-off: gives addresses to the instance that
// listens at a socket (SingleInstance::SocketPath) and returns its answer.
// Plain POSIX; runs before any Qt application object exists.

#include <chrono>
#include <string>
#include <vector>

#include "missions/HandOffMessage.h"

namespace quillmarsh {

// Tries for up to `wait` while nobody listens (an instance still starting),
// then waits up to 10 s for the answer. A text that ReadHandOffText would
// refuse is refused here without being sent.
HandOffReply HandOffAddresses(const std::string& socketPath, const std::vector<std::string>& urls,
                              std::chrono::milliseconds wait);

}  // namespace quillmarsh
