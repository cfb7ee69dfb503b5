#pragma once
// Finds the processes whose command line holds a given argument, to check
// that a stopped program has really gone.

#include <string>
#include <vector>

namespace quillmarsh {

std::vector<int> ProcessesWithArgument(const std::string& argument);

// True while the process exists and has not ended (a zombie has ended).
bool IsRunning(int pid);

}  // namespace quillmarsh
