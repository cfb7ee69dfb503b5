#pragma once
// A worker thread with the shape the workers need: Execute on its own
// thread, a terminate request, a termination handler run on the
// user-interface thread after Execute has returned, and Synchronize, the
// synchronous hand-over to the user-interface thread.

#include <QThread>
#include <atomic>
#include <functional>

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

 protected:
  virtual void Execute() = 0;

  // Runs fn on the user-interface thread and waits until it has run (at
  // once when already on it). False when the hand-over was cancelled.
  bool Synchronize(const std::function<void()>& fn);

 private:
  void run() override;

  std::function<void(WorkerThread*)> onTerminate_;
  std::atomic<bool> terminated_{false};
};
