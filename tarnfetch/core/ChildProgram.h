#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace tarnfetch {

// The named program beside this one, else the first on PATH (absolute
// entries only, never the current folder); empty when there is none.
std::string FindHelperProgram(const std::string& name);

// One run of a helper program (ffmpeg, the site extractor).
struct ChildRun {
  std::vector<std::string> args;  // args[0] is the program's path
  std::string role;               // "the site extractor": named before the path in errors
  // Descriptors handed over as 3, 4, ... in that order; everything else the
  // child gets is its standard input (/dev/null), output and error.
  std::vector<int> passFds;
  // Standard output is kept up to this many bytes; 0 discards it. More than
  // that ends the run (ChildResult::outputTooLarge).
  std::size_t keepOutput = 0;
  // The last bytes of standard error kept for a message; 0 discards it.
  std::size_t keepErrors = 4096;
  std::chrono::milliseconds timeLimit{std::chrono::seconds(60)};
  // The child's address space limit; 0 leaves it unlimited.
  std::size_t addressSpaceBytes = 0;
  // Not -1: standard output goes into this file instead of being kept, and
  // no file the child writes may grow beyond fileSizeBytes (when not 0).
  int outputFile = -1;
  std::size_t fileSizeBytes = 0;
};

struct ChildResult {
  std::string output;
  std::string errors;
  int waitStatus = 0;
  bool timedOut = false;
  bool outputTooLarge = false;

  // Ended by itself with exit status 0.
  bool Succeeded() const;
  // "exit status N" or "ended by signal S".
  std::string EndText() const;
};

// Runs the program to its end or its time limit, whichever comes first.
// The child stays in tarnfetch's process group, so that ending the group
// (Quillmarsh's Stop) ends it and whatever it started. It runs below a
// small keeper process that ends the child's whole tree when tarnfetch
// dies (SIGKILL included) and on the run's limits. The run is over when
// the child has exited: processes it left behind are ended, whatever they
// hold open; the result is the child's own.
// Throws FetchError when the program cannot be started.
ChildResult RunChild(const ChildRun& run);

// Starts a program that outlives this one and is not waited for: in a
// session of its own (Stop does not end it), with no input or output and
// no death signal. For work that must not hold up tarnfetch's end (the
// site extractor's daily update, which keeps its own time limits). False
// when it could not be started.
bool StartDetached(const std::vector<std::string>& args);

}  // namespace tarnfetch
