#include "platform/ShutdownSignals.h"

#include "platform/ChildGroups.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace quillmarsh {

namespace {
constexpr std::array<int, 3> kSignals = {SIGTERM, SIGHUP, SIGINT};

// Written once before the handlers are installed, read by them only.
volatile std::sig_atomic_t writeEnd = -1;
struct sigaction previous[kSignals.size()];
// Handlers may run on any thread, several at once.
std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");

void Handler(int signal) {
  if (received.fetch_add(1) > 0) {
    // The second signal: end now, whether or not the loop is still running,
    // and take the children along. The signal is blocked while this runs, so
    // it takes its default action as the handler returns.
    ChildGroups::KillAll();
    struct sigaction original {};
    original.sa_handler = SIG_DFL;
    sigaction(signal, &original, nullptr);
    raise(signal);
    return;
  }
  const int saved = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = write(writeEnd, &number, 1);
  errno = saved;
}
}  // namespace

ShutdownSignals::ShutdownSignals(std::function<void()> close, QObject* parent)
    : QObject(parent), close_(std::move(close)) {
  received = 0;
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  writeEnd = pipe_[1];
  notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &ShutdownSignals::Arrived);

  struct sigaction action {};
  action.sa_handler = Handler;
  sigemptyset(&action.sa_mask);
  for (const int s : kSignals) sigaddset(&action.sa_mask, s);
  action.sa_flags = SA_RESTART;
  installed_ = true;
  for (std::size_t i = 0; i < kSignals.size(); ++i)
    installed_ = sigaction(kSignals[i], &action, &previous[i]) == 0 && installed_;
}

ShutdownSignals::~ShutdownSignals() {
  for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &previous[i], nullptr);
  writeEnd = -1;
  for (int& fd : pipe_) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

void ShutdownSignals::Arrived() {
  unsigned char numbers[16];
  ssize_t n;
  do {
    n = read(pipe_[0], numbers, sizeof numbers);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return;
  // Only the first signal comes here; the handler deals with any later one.
  notifier_->setEnabled(false);
  if (close_) close_();
}

}  // namespace quillmarsh
