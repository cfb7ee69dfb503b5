#pragma once
// A console child process whose standard output and standard error arrive
// on one pipe. Started from an argument vector, in a process group of its
// own, every other descriptor closed at the exec. The child is killed when
// the thread that started it ends (PR_SET_PDEATHSIG), so a program that is
// killed itself leaves no downloader or ffmpeg running: start it from the
// thread that stays until the child has ended.
//
// Threads: one thread (the worker) calls Start, Wait, Read and ExitStatus;
// Terminate may be called from any other thread at any time.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillmarsh {

class ConsoleProcess {
 public:
  enum class Stdin { Null, Pipe };  // Pipe: the child's stdin is the read end (never written)
  enum class WaitResult { Exited, Timeout };

  ConsoleProcess();
  ~ConsoleProcess();  // ends and reaps a child that still runs; closes every descriptor once
  ConsoleProcess(const ConsoleProcess&) = delete;
  ConsoleProcess& operator=(const ConsoleProcess&) = delete;

  // argv[0] is the program's path (no search). False when the pipe or the
  // child cannot be made, including a program that is missing or cannot be
  // executed (the exec failure is reported here, not as exit status 127),
  // and after Terminate was called; `error` then says why.
  bool Start(const std::vector<std::string>& argv, Stdin in, std::string* error = nullptr);

  // Waits for the child to end, at most `timeout`.
  WaitResult Wait(std::chrono::milliseconds timeout);

  // Reads at most maxBytes. While the child runs and the pipe is empty it
  // waits for output (at most `waitAtMost` when that is not negative); once
  // the child has ended it returns what is left in the pipe, or nothing,
  // without waiting (a grandchild may hold the pipe).
  std::string Read(std::size_t maxBytes,
                   std::chrono::milliseconds waitAtMost = std::chrono::milliseconds(-1));

  // Ends the child's whole process group (SIGKILL). Safe against PID reuse:
  // the child is not reaped before this has either run or become moot.
  // Before Start it makes Start refuse; after the child was reaped it does
  // nothing (what the child left running is no longer ours to signal).
  void Terminate();

  // The exit status once the child has ended and been waited for; a child
  // ended by a signal gives 128 + the signal number.
  std::optional<int> ExitStatus() const;
  bool Started() const;
  int Pid() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quillmarsh
