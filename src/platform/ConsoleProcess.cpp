#include "platform/ConsoleProcess.h"

#include "platform/ChildGroups.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
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

// Spawn attributes: the child leads a process group of its own, blocks no
// signal and handles every signal the default way, whatever this thread does.
class SpawnAttributes {
 public:
  SpawnAttributes() {
    posix_spawnattr_init(&attr_);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr_, &none);
    posix_spawnattr_setsigdefault(&attr_, &all);
    posix_spawnattr_setpgroup(&attr_, 0);
    posix_spawnattr_setflags(
        &attr_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attr_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  const posix_spawnattr_t* get() const { return &attr_; }

 private:
  posix_spawnattr_t attr_;
};

// The child's descriptors: 0 from /dev/null or the pipe, 1 and 2 the pipe's
// write end, nothing else (descriptors opened without close-on-exec by other
// code are closed too).
class SpawnFiles {
 public:
  SpawnFiles(int readEnd, int writeEnd, ConsoleProcess::Stdin in) {
    posix_spawn_file_actions_init(&actions_);
    if (in == ConsoleProcess::Stdin::Pipe)
      posix_spawn_file_actions_adddup2(&actions_, readEnd, 0);
    else
      posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions_, writeEnd, 1);
    posix_spawn_file_actions_adddup2(&actions_, writeEnd, 2);
    posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
  }
  ~SpawnFiles() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnFiles(const SpawnFiles&) = delete;
  SpawnFiles& operator=(const SpawnFiles&) = delete;
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

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

  SpawnAttributes attributes;
  SpawnFiles files(readEnd, writeEnd, in);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, args[0], files.get(), attributes.get(), args.data(), environ);
  // Only the child may hold the write end: once it (and anything it starts)
  // has ended, a read sees the end of the data.
  CloseFd(writeEnd);
  if (rc != 0) {
    CloseFd(readEnd);
    return fail(ErrnoText(argv[0].c_str(), rc));
  }

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

std::string ConsoleProcess::Read(std::size_t maxBytes) {
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
    const int r = ::poll(p, childEnded ? 1 : 2, childEnded ? 0 : -1);
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
