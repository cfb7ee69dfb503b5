#pragma once
// A program run to its end as a child process, with standard output and
// standard error on one pipe, through the console-process class Quillmarsh
// uses; what it printed, line by line.

#include <string>
#include <vector>

namespace quillmarsh {

struct RunResult {
  int exitCode = -1;  // -1: killed or did not end
  std::vector<std::string> lines;

  std::vector<std::string> Starting(const std::string& prefix) const;
  std::string Text() const;
  bool Has(const std::string& words) const { return Text().find(words) != std::string::npos; }
};

// argv[0] is the program's path. A run that takes longer than 20 s is ended
// and reported with -1.
RunResult RunProgram(const std::vector<std::string>& argv);

}  // namespace quillmarsh
