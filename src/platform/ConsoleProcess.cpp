#include "platform/ConsoleProcess.h"

#include "platform/ChildGroups.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>

extern char** environ;

namespace quillmarsh {

namespace {

// Debian 12's <sys/pidfd.h> lacks C linkage for C++, so call the kernel directly.
int PidfdOpen(pid_t pid) {
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0u));
}
void PidfdKill(int pidfd) {
  ::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0u);
}

void CloseFd(int& fd) {
  if (fd < 0) return;
  // Linux frees the descriptor even when close reports EINTR: never retry.
  ::close(fd);
  fd = -1;
}

int StatusFromWait(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

std::string ErrnoText(const char* what, int err) {
  return std::string(what) + ": " + std::strerror(err);
}

// The child tells the parent why it cannot run the program, and ends.
[[noreturn]] void FailChild(int report) {
  const int err = errno;
  [[maybe_unused]] const ssize_t n = ::write(report, &err, sizeof err);
  ::_exit(127);
}

// What the child does between fork and exec. Only async-signal-safe calls:
// the parent may have other threads holding locks. Writes errno to
// `report` and ends when any step fails.
[[noreturn]] void BecomeChild(char* const* argv, int readEnd, int writeEnd, int report,
                              ConsoleProcess::Stdin in, pid_t parent) {
  const auto fail = [report] { FailChild(report); };
  // A process group of its own, so that ending it ends what it started.
  if (::setpgid(0, 0) != 0) fail();
  // Ends with us, even when we are killed and cannot end it ourselves.
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) fail();
  if (::getppid() != parent) ::_exit(127);  // we died before the line above
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int s = 1; s < NSIG; ++s) ::sigaction(s, &dfl, nullptr);
  sigset_t none;
  sigemptyset(&none);
  if (::sigprocmask(SIG_SETMASK, &none, nullptr) != 0) fail();
  const int input = in == ConsoleProcess::Stdin::Pipe ? readEnd : ::open("/dev/null", O_RDONLY);
  if (input < 0 || ::dup2(input, 0) < 0 || ::dup2(writeEnd, 1) < 0 || ::dup2(writeEnd, 2) < 0)
    fail();
  // Descriptors opened without close-on-exec by other code end at the exec;
  // `report` (close-on-exec) stays usable until then.
  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) fail();
  ::execve(argv[0], argv, environ);
  FailChild(report);
}

// The child's exec failure, read from the report pipe: 0 when exec succeeded.
int ExecError(int report) {
  int err = 0;
  ssize_t n;
  do {
    n = ::read(report, &err, sizeof err);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(sizeof err) ? err : 0;
}

}  // namespace

struct ConsoleProcess::Impl {
  // Guards the child's life: pid, pidfd and whether it was reaped. A child is
  // reaped only under this lock, so Terminate never signals a reused PID or
  // a group that no longer belongs to us.
  mutable std::mutex lock;
  pid_t pid = -1;
  int pidfd = -1;
  bool reaped = false;
  bool terminateRequested = false;
  std::optional<int> exitStatus;

  int readFd = -1;  // worker thread only

  // Caller holds `lock`. True when the child has ended (and is now reaped).
  bool ReapIfEnded(int options) {
    if (pid < 0 || reaped) return reaped;
    // Forget the group while its PID is still ours: once reaped, the PID
    // may name someone else's process by the time a signal handler reads it.
    if (options & WNOHANG) {
      siginfo_t info{};
      if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
          info.si_pid == 0)
        return false;
    }
    ChildGroups::Remove(pid);
    int status = 0;
    pid_t r;
    do {
      r = ::waitpid(pid, &status, options);
    } while (r < 0 && errno == EINTR);
    if (r == pid) {
      reaped = true;
      exitStatus = StatusFromWait(status);
    } else if (r < 0 && errno == ECHILD) {
      // Someone else reaped it; it has ended all the same.
      reaped = true;
    }
    return reaped;
  }

  // Caller holds `lock`.
  void KillGroup() {
    if (pid < 0 || reaped) return;
    // The unreaped child keeps its PID, and with it the group ID, reserved.
    ::kill(-pid, SIGKILL);
    if (pidfd >= 0) PidfdKill(pidfd);
  }
};

ConsoleProcess::ConsoleProcess() : impl_(std::make_unique<Impl>()) {}

ConsoleProcess::~ConsoleProcess() {
  {
    std::lock_guard guard(impl_->lock);
    impl_->KillGroup();
    impl_->ReapIfEnded(0);
  }
  CloseFd(impl_->pidfd);
  CloseFd(impl_->readFd);
}

bool ConsoleProcess::Start(const std::vector<std::string>& argv, Stdin in, std::string* error) {
  auto fail = [error](std::string why) {
    if (error) *error = std::move(why);
    return false;
  };
  if (argv.empty()) return fail("no program given");

  std::lock_guard guard(impl_->lock);
  if (impl_->pid >= 0) return fail("already started");
  if (impl_->terminateRequested) return fail("terminated before start");

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return fail(ErrnoText("pipe", errno));
  int readEnd = fds[0], writeEnd = fds[1];

  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    const int err = errno;
    CloseFd(readEnd);
    CloseFd(writeEnd);
    return fail(ErrnoText("pipe", err));
  }
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) BecomeChild(args.data(), readEnd, writeEnd, report[1], in, parent);
  const int forkError = errno;
  // Only the child may hold the write end: once it (and anything it starts)
  // has ended, a read sees the end of the data.
  CloseFd(writeEnd);
  CloseFd(report[1]);
  if (pid < 0) {
    CloseFd(report[0]);
    CloseFd(readEnd);
    return fail(ErrnoText("fork", forkError));
  }
  if (const int err = ExecError(report[0]); err != 0) {
    CloseFd(report[0]);
    CloseFd(readEnd);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return fail(ErrnoText(argv[0].c_str(), err));
  }
  CloseFd(report[0]);

  impl_->pid = pid;
  ChildGroups::Add(pid);
  impl_->readFd = readEnd;
  // Nobody else reaps our children, so the PID still names this child.
  impl_->pidfd = PidfdOpen(pid);
  if (impl_->pidfd < 0) {
    const int err = errno;
    impl_->KillGroup();
    impl_->ReapIfEnded(0);
    CloseFd(impl_->readFd);
    return fail(ErrnoText("pidfd_open", err));
  }
  return true;
}

ConsoleProcess::WaitResult ConsoleProcess::Wait(std::chrono::milliseconds timeout) {
  int pidfd;
  {
    std::lock_guard guard(impl_->lock);
    if (impl_->pid < 0 || impl_->reaped) return WaitResult::Exited;
    pidfd = impl_->pidfd;
  }
  pollfd p{pidfd, POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const int r = ::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
    if (r > 0) break;
    if (r == 0) return WaitResult::Timeout;
    if (errno != EINTR) break;  // cannot wait: fall back to a plain check
  }
  std::lock_guard guard(impl_->lock);
  return impl_->ReapIfEnded(WNOHANG) ? WaitResult::Exited : WaitResult::Timeout;
}

std::string ConsoleProcess::Read(std::size_t maxBytes, std::chrono::milliseconds waitAtMost) {
  std::string out;
  if (impl_->readFd < 0 || maxBytes == 0) return out;

  bool childEnded;
  {
    std::lock_guard guard(impl_->lock);
    childEnded = impl_->reaped;
  }
  pollfd p[2] = {{impl_->readFd, POLLIN, 0}, {impl_->pidfd, POLLIN, 0}};
  // While the child runs, wait for output or for its end; once it has
  // ended, only look (a grandchild may keep the pipe open for ever).
  for (;;) {
    const int wait = childEnded               ? 0
                     : waitAtMost.count() < 0 ? -1
                                              : static_cast<int>(waitAtMost.count());
    const int r = ::poll(p, childEnded ? 1 : 2, wait);
    if (r >= 0) break;
    if (errno != EINTR) return out;
  }
  if (!(p[0].revents & (POLLIN | POLLHUP | POLLERR))) return out;

  out.resize(maxBytes);
  ssize_t n;
  do {
    n = ::read(impl_->readFd, out.data(), maxBytes);
  } while (n < 0 && errno == EINTR);
  out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return out;
}

void ConsoleProcess::Terminate() {
  std::lock_guard guard(impl_->lock);
  impl_->terminateRequested = true;
  impl_->KillGroup();
}

std::optional<int> ConsoleProcess::ExitStatus() const {
  std::lock_guard guard(impl_->lock);
  return impl_->exitStatus;
}

bool ConsoleProcess::Started() const {
  std::lock_guard guard(impl_->lock);
  return impl_->pid >= 0;
}

int ConsoleProcess::Pid() const {
  std::lock_guard guard(impl_->lock);
  return impl_->pid;
}

}  // namespace quillmarsh
