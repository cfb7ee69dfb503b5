#include "platform/WorkerThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace quillmarsh {

namespace {

// One hand-over to the user-interface thread. Shared by the waiting worker
// and the queued call, so either may outlive the other.
struct HandOver {
  std::mutex lock;
  std::condition_variable changed;
  std::function<void()> fn;  // a copy: the caller's may be gone after a cancel
  const WorkerThread* owner = nullptr;
  bool running = false;
  bool done = false;
  bool cancelled = false;

  // A hand-over already running on the user-interface thread is left to
  // finish: its worker must not go on while fn still uses the worker's data.
  void Cancel() {
    std::lock_guard guard(lock);
    if (running || done) return;
    cancelled = true;
    changed.notify_all();
  }
};

struct Registry {
  std::mutex lock;
  bool cancelled = false;
  std::vector<std::shared_ptr<HandOver>> pending;

  void Remove(const std::shared_ptr<HandOver>& h) {
    std::lock_guard guard(lock);
    std::erase(pending, h);
  }
};

Registry& Handovers() {
  static Registry registry;
  return registry;
}

// Runs on the user-interface thread.
void RunHandOver(const std::shared_ptr<HandOver>& h) {
  {
    std::lock_guard guard(h->lock);
    if (h->cancelled) return;
    h->running = true;
  }
  // Wakes the worker even when fn throws; the exception goes on to the
  // application's event handling.
  struct Finish {
    HandOver& h;
    ~Finish() {
      std::lock_guard guard(h.lock);
      h.running = false;
      h.done = true;
      h.changed.notify_all();
    }
  } finish{*h};
  h->fn();
}

// Every worker object that exists. Workers are made and freed on the
// user-interface thread only, so the list needs no lock.
std::vector<WorkerThread*>& LiveWorkers() {
  static std::vector<WorkerThread*> workers;
  return workers;
}

bool OnUserInterfaceThread(const QCoreApplication* app) {
  return QThread::currentThread() == app->thread();
}

}  // namespace

WorkerThread::WorkerThread() {
  LiveWorkers().push_back(this);
  // This object lives on the thread that created it (the user-interface
  // thread), so `finished`, emitted by the worker, reaches it queued.
  connect(this, &QThread::finished, this, &WorkerThread::RunTerminateHandler);
}

WorkerThread::~WorkerThread() {
  std::erase(LiveWorkers(), this);
  CancelHandOvers();
  RequestTerminate();
  wait();
}

void WorkerThread::SetOnTerminate(std::function<void(WorkerThread*)> handler) {
  onTerminate_ = std::move(handler);
}

void WorkerThread::RunTerminateHandler() {
  wait();  // `finished` comes just before the thread really ends
  if (onTerminate_) onTerminate_(this);
}

void WorkerThread::run() {
  Execute();
}

bool WorkerThread::AnyWorkerRunning() {
  for (const WorkerThread* w : LiveWorkers())
    if (w->isRunning()) return true;
  return false;
}

bool WorkerThread::WaitForAllWorkers(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (WorkerThread* w : LiveWorkers()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !w->wait(QDeadlineTimer(left.count()))) return false;
  }
  return true;
}

void WorkerThread::CancelAllHandOvers() {
  Registry& r = Handovers();
  std::lock_guard guard(r.lock);
  r.cancelled = true;
  for (const auto& h : r.pending) h->Cancel();
}

bool WorkerThread::HandOversCancelled() {
  Registry& r = Handovers();
  std::lock_guard guard(r.lock);
  return r.cancelled;
}

void WorkerThread::ResumeHandOvers() {
  Registry& r = Handovers();
  std::lock_guard guard(r.lock);
  r.cancelled = false;
}

void WorkerThread::CancelHandOvers() {
  Registry& r = Handovers();
  std::lock_guard guard(r.lock);
  ownHandOversCancelled_ = true;
  for (const auto& h : r.pending)
    if (h->owner == this) h->Cancel();
}

bool WorkerThread::Synchronize(const std::function<void()>& fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return false;
  if (OnUserInterfaceThread(app)) {
    if (HandOversCancelled()) return false;
    fn();
    return true;
  }

  auto h = std::make_shared<HandOver>();
  h->fn = fn;
  h->owner = this;
  Registry& r = Handovers();
  {
    std::lock_guard guard(r.lock);
    if (r.cancelled || ownHandOversCancelled_) return false;
    r.pending.push_back(h);
  }
  QMetaObject::invokeMethod(
      app, [h] { RunHandOver(h); }, Qt::QueuedConnection);

  bool ran;
  {
    std::unique_lock guard(h->lock);
    h->changed.wait(guard, [&h] { return h->done || h->cancelled; });
    ran = h->done;
  }
  r.Remove(h);
  return ran;
}

}  // namespace quillmarsh
