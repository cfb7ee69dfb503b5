#pragma once
// The console capture loop shared by the workers: start a console program,
// then per pass wait for it (at most `wait`), read one chunk of its output
// (at most `readSize` bytes, cut at the first zero byte) and hand the chunk
// to the user-interface thread. After the program has ended, passes go on
// until its remaining output has been read; then AfterCapture runs on the
// worker thread.

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/ConsoleProcess.h"
#include "platform/WorkerThread.h"

namespace quillmarsh {

class ConsoleCaptureThread : public WorkerThread {
 public:
  struct Options {
    std::chrono::milliseconds wait{500};
    std::size_t readSize = 500;
    ConsoleProcess::Stdin stdinMode = ConsoleProcess::Stdin::Null;
  };

  // Stops the capture (see StopCapture).
  ~ConsoleCaptureThread() override;

  // Set before start() (or in BeforeCapture): argv[0] is the program's path.
  void SetArguments(std::vector<std::string> argv) { arguments_ = std::move(argv); }
  const std::vector<std::string>& Arguments() const { return arguments_; }

  // Ends the program from any thread (Stop, shutdown); the loop then makes
  // its last pass. Before the program was started it keeps it from starting.
  void TerminateChild() { process_.Terminate(); }

  // User-interface thread only: Stop took the worker off its list, so every
  // later hand-over is dropped.
  bool Detached = false;
  // Stop: marks the worker detached and ends its program. User-interface thread.
  virtual void Detach() {
    Detached = true;
    RequestTerminate();
    TerminateChild();
  }

 protected:
  explicit ConsoleCaptureThread(Options options);

  // Ends the program (and its process group) if it still runs, cancels this
  // worker's hand-overs and waits for the thread. A subclass whose
  // AfterCapture uses its own members calls this first in its destructor.
  void StopCapture();

  // User-interface thread, once per pass: interprets `Output`.
  virtual void ProcessOutput() = 0;
  // Worker thread, before the program starts; false starts none (the
  // arguments may still be changed here).
  virtual bool BeforeCapture() { return true; }
  // Worker thread, once the loop has ended or the program could not start.
  virtual void AfterCapture() = 0;

  // Worker thread only, and within AfterCapture.
  bool ChildStarted() const { return process_.Started(); }
  const std::string& StartError() const { return startError_; }
  std::optional<int> ExitStatus() const { return process_.ExitStatus(); }

  // The chunk of the current pass. Written by the worker before each
  // hand-over and read (or rewritten) by ProcessOutput during it.
  std::string Output;

 private:
  void Execute() final;

  const Options options_;
  std::vector<std::string> arguments_;
  ConsoleProcess process_;
  std::string startError_;
};

}  // namespace quillmarsh
