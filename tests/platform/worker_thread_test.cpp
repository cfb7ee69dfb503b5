#include "platform/WorkerThread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>
#include <atomic>
#include <vector>

#include "support/QtTestApp.h"

namespace quillmarsh {

using namespace std::chrono_literals;

namespace {

class FnWorker : public WorkerThread {
 public:
  explicit FnWorker(std::function<void(FnWorker&)> body) : body_(std::move(body)) {}
  // body_ goes before the base destructor runs: release and wait here.
  ~FnWorker() override {
    CancelHandOvers();
    wait();
  }
  using WorkerThread::Synchronize;

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(FnWorker&)> body_;
};

class WorkerThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApp();
    WorkerThread::ResumeHandOvers();
  }
  void TearDown() override { WorkerThread::ResumeHandOvers(); }
  QThread* UiThread() { return QCoreApplication::instance()->thread(); }
};

}  // namespace

TEST_F(WorkerThreadTest, SynchronizeRunsOnTheUiThreadInOrder) {
  std::vector<int> order;
  std::vector<QThread*> threads;
  std::atomic<int> refused{0};
  FnWorker worker([&](FnWorker& self) {
    for (int i = 0; i < 200; ++i) {
      if (!self.Synchronize([&, i] {
            order.push_back(i);
            threads.push_back(QThread::currentThread());
          }))
        ++refused;
    }
  });
  worker.start();
  ASSERT_TRUE(SpinUntil([&] { return worker.isFinished(); }));
  EXPECT_EQ(refused, 0);
  ASSERT_EQ(order.size(), 200u);
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(order[i], i);
    EXPECT_EQ(threads[i], UiThread());
  }
}

TEST_F(WorkerThreadTest, SynchronizeOnTheUiThreadRunsAtOnce) {
  FnWorker worker([](FnWorker&) {});
  bool ran = false;
  EXPECT_TRUE(worker.Synchronize([&] { ran = true; }));
  EXPECT_TRUE(ran);
}

TEST_F(WorkerThreadTest, TerminateHandlerRunsOnTheUiThreadAfterExecute) {
  std::atomic<bool> executeReturned{false};
  bool handled = false;
  FnWorker* worker = new FnWorker([&](FnWorker&) {
    QThread::msleep(50);
    executeReturned = true;
  });
  worker->SetOnTerminate([&](WorkerThread* w) {
    EXPECT_EQ(QThread::currentThread(), UiThread());
    EXPECT_TRUE(executeReturned);
    EXPECT_TRUE(w->isFinished());
    EXPECT_EQ(w, worker);
    handled = true;
    w->deleteLater();
  });
  QPointer<FnWorker> alive(worker);
  worker->start();
  ASSERT_TRUE(SpinUntil([&] { return handled && alive.isNull(); }));
}

TEST_F(WorkerThreadTest, CancelAllHandOversReleasesAWaitingWorker) {
  std::atomic<int> result{-1};
  bool ran = false;
  FnWorker worker([&](FnWorker& self) {
    result = self.Synchronize([&] { ran = true; }) ? 1 : 0;
    // Later hand-overs are refused at once.
    if (self.Synchronize([&] { ran = true; })) result = 2;
  });
  worker.start();
  // The user-interface thread does not run its event loop: the worker waits.
  QThread::msleep(100);
  EXPECT_EQ(result, -1);
  WorkerThread::CancelAllHandOvers();
  EXPECT_TRUE(WorkerThread::HandOversCancelled());
  ASSERT_TRUE(worker.wait(5000));
  EXPECT_EQ(result, 0);
  SpinFor(50ms);  // the queued call is dropped, not run late
  EXPECT_FALSE(ran);
  EXPECT_FALSE(worker.Synchronize([&] { ran = true; }));
  EXPECT_FALSE(ran);
}

TEST_F(WorkerThreadTest, DestroyingAWorkerReleasesItsOwnHandOver) {
  std::atomic<bool> waiting{false};
  std::atomic<int> result{-1};
  bool ran = false;
  auto* blocked = new FnWorker([&](FnWorker& self) {
    waiting = true;
    result = self.Synchronize([&] { ran = true; }) ? 1 : 0;
  });
  blocked->start();
  while (!waiting) QThread::msleep(1);
  QThread::msleep(20);
  delete blocked;  // would hang if the worker still waited for this thread
  EXPECT_EQ(result, 0);
  SpinFor(20ms);
  EXPECT_FALSE(ran);
  EXPECT_FALSE(WorkerThread::HandOversCancelled());
}

}  // namespace quillmarsh
