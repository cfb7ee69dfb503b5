#include "support/ChildProcesses.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace quillmarsh {

std::vector<int> ProcessesWithArgument(const std::string& argument) {
  std::vector<int> pids;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(entry.path() / "cmdline", std::ios::binary);
    const std::string cmdline{std::istreambuf_iterator<char>(in), {}};
    // Arguments are separated by NUL bytes; zombies have an empty line.
    std::size_t start = 0;
    while (start < cmdline.size()) {
      const std::size_t end = cmdline.find('\0', start);
      if (cmdline.compare(start, end - start, argument) == 0) {
        pids.push_back(std::atoi(name.c_str()));
        break;
      }
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  return pids;
}

bool IsRunning(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  const std::string stat{std::istreambuf_iterator<char>(in), {}};
  // "pid (name) state ...": the name may hold blanks and brackets.
  const std::size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

}  // namespace quillmarsh
