#include "platform/ConsoleCaptureThread.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <atomic>

#include "support/QtTestApp.h"

namespace quillmarsh {

using namespace std::chrono_literals;

namespace {

// Records every chunk it is handed and what the loop left behind.
class RecordingCapture : public ConsoleCaptureThread {
 public:
  explicit RecordingCapture(Options options) : ConsoleCaptureThread(options) {}
  ~RecordingCapture() override { StopCapture(); }
  std::vector<std::string> chunks;
  std::vector<bool> onUiThread;
  std::atomic<bool> finished{false};
  bool started = false;
  std::string startError;
  std::optional<int> exitStatus;

 protected:
  void ProcessOutput() override {
    chunks.push_back(Output);
    onUiThread.push_back(QThread::currentThread() == QCoreApplication::instance()->thread());
  }
  void AfterCapture() override {
    started = ChildStarted();
    startError = StartError();
    exitStatus = ExitStatus();
    finished = true;
  }
};

ConsoleCaptureThread::Options Fast(std::size_t readSize = 500) {
  ConsoleCaptureThread::Options o;
  o.wait = 50ms;
  o.readSize = readSize;
  return o;
}

// For programs that write all at once and end: the first pass waits for
// the end, however slow the machine.
ConsoleCaptureThread::Options UntilTheEnd() {
  ConsoleCaptureThread::Options o = Fast();
  o.wait = 5s;
  return o;
}

class ConsoleCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureQtApp(); }
  void Run(RecordingCapture& c, std::vector<std::string> argv) {
    c.SetArguments(std::move(argv));
    c.start();
    ASSERT_TRUE(SpinUntil([&] { return c.finished.load(); }, 20s));
    c.wait();
  }
};

}  // namespace

TEST_F(ConsoleCaptureTest, ReadsEverythingLeftAfterTheChildEnds) {
  RecordingCapture c(UntilTheEnd());
  // 1200 bytes are in the pipe when the child has already ended: full reads
  // go on until a short one shows the pipe is empty, so nothing is lost.
  Run(c, {TestToolPath("child_probe"), "bytes", "1200"});
  ASSERT_EQ(c.chunks.size(), 3u);
  EXPECT_EQ(c.chunks[0], std::string(500, 'x'));
  EXPECT_EQ(c.chunks[1], std::string(500, 'x'));
  EXPECT_EQ(c.chunks[2], std::string(200, 'x'));
  EXPECT_TRUE(c.onUiThread[0]);
  EXPECT_TRUE(c.started);
  EXPECT_EQ(c.exitStatus, 0);
}

TEST_F(ConsoleCaptureTest, CutsAChunkAtItsFirstZeroByte) {
  RecordingCapture c(UntilTheEnd());
  Run(c, {TestToolPath("child_probe"), "echo", "first", "second"});
  ASSERT_EQ(c.chunks.size(), 1u);
  EXPECT_EQ(c.chunks[0], "first");
}

TEST_F(ConsoleCaptureTest, PassesOnceMoreWithNothingWhenOutputIsDone) {
  RecordingCapture c(Fast());
  Run(c, {"/bin/sh", "-c", "echo one; sleep 0.5"});
  ASSERT_GE(c.chunks.size(), 2u);
  EXPECT_EQ(c.chunks.front(), "one\n");
  EXPECT_EQ(c.chunks.back(), "");  // the empty read after the end is still handed over
}

TEST_F(ConsoleCaptureTest, AProgramThatCannotStartGoesStraightToTheEnd) {
  RecordingCapture c(Fast());
  Run(c, {"/nonexistent/program"});
  EXPECT_TRUE(c.chunks.empty());
  EXPECT_FALSE(c.started);
  EXPECT_NE(c.startError.find("/nonexistent/program"), std::string::npos);
}

TEST_F(ConsoleCaptureTest, TerminateChildEndsTheLoopPromptly) {
  RecordingCapture c(ConsoleCaptureThread::Options{});  // 500 ms waits
  c.SetArguments({TestToolPath("child_probe"), "sleep", "30000"});
  c.start();
  SpinFor(200ms);
  const auto begin = std::chrono::steady_clock::now();
  c.TerminateChild();
  ASSERT_TRUE(SpinUntil([&] { return c.finished.load(); }, 5s));
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 1500ms);
  c.wait();
  EXPECT_EQ(c.exitStatus, 128 + SIGKILL);
}

TEST_F(ConsoleCaptureTest, DestroyingARunningCaptureEndsItsChild) {
  auto* c = new RecordingCapture(ConsoleCaptureThread::Options{});
  c->SetArguments({TestToolPath("child_probe"), "sleep", "30000"});
  c->start();
  SpinFor(100ms);
  const auto begin = std::chrono::steady_clock::now();
  delete c;  // the worker may be blocked in a read or a hand-over
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s);
}

}  // namespace quillmarsh
