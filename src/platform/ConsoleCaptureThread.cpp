#include "platform/ConsoleCaptureThread.h"

ConsoleCaptureThread::ConsoleCaptureThread(Options options) : options_(options) {}

ConsoleCaptureThread::~ConsoleCaptureThread() {
  StopCapture();
}

void ConsoleCaptureThread::StopCapture() {
  RequestTerminate();
  process_.Terminate();
  CancelHandOvers();
  wait();
}

void ConsoleCaptureThread::Execute() {
  if (process_.Start(arguments_, options_.stdinMode, &startError_)) {
    for (;;) {
      const auto waited = process_.Wait(options_.wait);
      std::string chunk = process_.Read(options_.readSize);
      if (const auto zero = chunk.find('\0'); zero != std::string::npos) chunk.resize(zero);
      Output = std::move(chunk);
      if (!Synchronize([this] { ProcessOutput(); })) break;  // shutting down
      if (waited != ConsoleProcess::WaitResult::Timeout || Terminated()) break;
    }
    // Ends a program that still runs when the loop was left early; a program
    // that has ended is not touched. Then collect its exit status.
    process_.Terminate();
    process_.Wait(std::chrono::seconds(5));
  }
  AfterCapture();
}
