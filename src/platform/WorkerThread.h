#pragma once
// A worker thread with the shape the workers need: Execute on its own
// thread, a terminate request, a termination handler run on the
// user-interface thread after Execute has returned, and Synchronize, the
// synchronous hand-over to the user-interface thread.
//
// Create workers on the user-interface thread: the termination handler runs
// on the thread that owns the object. A subclass whose Execute can block
// must unblock it in its own destructor; this destructor then waits for it.

#include <QThread>
#include <atomic>
#include <chrono>
#include <functional>

namespace quillmarsh {

class WorkerThread : public QThread {
  Q_OBJECT
 public:
  WorkerThread();
  ~WorkerThread() override;

  // Runs on the user-interface thread once Execute has returned.
  void SetOnTerminate(std::function<void(WorkerThread*)> handler);
  void RequestTerminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }

  // Stops every pending and future hand-over: Synchronize returns false at
  // once. Called when the program shuts down, so that the user-interface
  // thread never waits for a worker that waits for it.
  static void CancelAllHandOvers();
  static bool HandOversCancelled();
  // Allows hand-overs again after CancelAllHandOvers (a fresh start, tests).
  static void ResumeHandOvers();
  // Waits until no worker is inside Execute any more, at most `timeout`.
  // True when none is. Used at shutdown, after the hand-overs are cancelled.
  static bool WaitForAllWorkers(std::chrono::milliseconds timeout);
  // True while some worker's thread has not ended yet.
  static bool AnyWorkerRunning();

  // Stops this worker's pending and future hand-overs only.
  void CancelHandOvers();

 protected:
  virtual void Execute() = 0;

  // Runs fn on the user-interface thread and waits until it has run (at
  // once when already on it). False when the hand-over was cancelled.
  // An exception thrown by fn goes on to the user-interface thread's event
  // handling (QCoreApplication::notify); the worker is released all the same.
  bool Synchronize(const std::function<void()>& fn);

 private:
  void run() override;
  void RunTerminateHandler();

  std::function<void(WorkerThread*)> onTerminate_;
  std::atomic<bool> terminated_{false};
  bool ownHandOversCancelled_ = false;  // guarded by the hand-over registry's lock
};

}  // namespace quillmarsh
