#include "platform/ShutdownSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>

namespace quillmarsh {

namespace {
constexpr std::array<int, 3> kSignals = {SIGTERM, SIGHUP, SIGINT};

// Written once before the handlers are installed, read by them only.
volatile std::sig_atomic_t writeEnd = -1;
struct sigaction previous[kSignals.size()];

void Handler(int signal) {
  const int saved = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  // A full pipe already holds a signal: this one may be dropped.
  [[maybe_unused]] const ssize_t written = write(writeEnd, &number, 1);
  errno = saved;
}

void SetDefaultActions() {
  for (const int s : kSignals) std::signal(s, SIG_DFL);
}
}  // namespace

ShutdownSignals::ShutdownSignals(std::function<void()> close, std::function<void()> endNow,
                                 QObject* parent)
    : QObject(parent), close_(std::move(close)), endNow_(std::move(endNow)) {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  writeEnd = pipe_[1];
  notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &ShutdownSignals::Arrived);

  struct sigaction action {};
  action.sa_handler = Handler;
  sigemptyset(&action.sa_mask);
  for (const int s : kSignals) sigaddset(&action.sa_mask, s);
  // The kernel puts the default action back as the handler starts: the same
  // signal a second time ends the process even before the loop has run.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
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
  // Any later signal ends the process at once; those that came before this
  // line are all in the pipe.
  SetDefaultActions();
  int count = 0;
  int last = SIGTERM;
  unsigned char numbers[16];
  for (ssize_t n; (n = read(pipe_[0], numbers, sizeof numbers)) > 0 || (n < 0 && errno == EINTR);) {
    if (n <= 0) continue;
    count += static_cast<int>(n);
    last = numbers[n - 1];
  }
  if (count == 0) return;
  notifier_->setEnabled(false);
  if (count > 1) {
    if (endNow_) endNow_();
    std::raise(last);
    return;
  }
  if (close_) close_();
}

}  // namespace quillmarsh
