#include "platform/ConsoleCaptureThread.h"

namespace quillmarsh {

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
  if (BeforeCapture() && process_.Start(arguments_, options_.stdinMode, &startError_)) {
    // A grandchild that keeps the pipe and keeps writing must not hold the
    // loop for ever once the program itself has ended.
    int passesAfterEnd = 0;
    constexpr int kMaxPassesAfterEnd = 1024;
    bool moreLeft = false;
    for (;;) {
      // Output that comes faster than a chunk a pass (a list of thousands
      // of videos) is read on at once, not one chunk per wait.
      const auto waited = process_.Wait(moreLeft ? std::chrono::milliseconds(0) : options_.wait);
      std::string chunk = process_.Read(options_.readSize);
      // After the program's end, a full read means more output is left:
      // it is read in further passes, so a fast program's last lines (its
      // done marker among them) are never lost.
      moreLeft = chunk.size() == options_.readSize;
      if (const auto zero = chunk.find('\0'); zero != std::string::npos) chunk.resize(zero);
      Output = std::move(chunk);
      if (!Synchronize([this] { ProcessOutput(); })) break;  // shutting down
      if (Terminated()) break;
      if (waited != ConsoleProcess::WaitResult::Timeout &&
          (!moreLeft || ++passesAfterEnd >= kMaxPassesAfterEnd))
        break;
    }
    // Ends a program that still runs when the loop was left early; a program
    // that has ended is not touched. Then collect its exit status.
    process_.Terminate();
    process_.Wait(std::chrono::seconds(5));
  }
  AfterCapture();
}

}  // namespace quillmarsh
