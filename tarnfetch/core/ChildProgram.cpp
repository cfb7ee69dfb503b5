#include "core/ChildProgram.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "core/FetchError.h"
#include "shared/FindProgram.h"

extern char** environ;

namespace tarnfetch {
namespace {

using Clock = std::chrono::steady_clock;

// The children RunChild is waiting for; any other child of ours is one
// they left behind (this process is their subreaper).
std::mutex liveLock;
std::set<pid_t> live;

struct Fd {
  int fd = -1;
  Fd() = default;
  explicit Fd(int value) : fd(value) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Close(); }
  void Close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

struct Pipe {
  Fd read, write;
  void Open() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      throw FetchError(std::string("Could not prepare a helper program: ") + std::strerror(errno) +
                       ".");
    }
    read.fd = fds[0];
    write.fd = fds[1];
  }
};

// Between fork and exec (safe calls only): no signal blocked or ignored,
// standard input from /dev/null, output and error to the given descriptors
// (-1: /dev/null). False when the descriptors could not be set.
bool TakeStandardSetUp(int outFd, int errFd) {
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &standard, nullptr);
  const int nothing = ::open("/dev/null", O_RDWR);
  return nothing >= 0 && ::dup2(nothing, 0) == 0 && ::dup2(outFd >= 0 ? outFd : nothing, 1) == 1 &&
         ::dup2(errFd >= 0 ? errFd : nothing, 2) == 2;
}

// Only calls that are safe between fork and exec.
[[noreturn]] void BecomeChild(const ChildRun& run, char* const* argv, pid_t parent, int outFd,
                              int errFd, const std::vector<int>& passed, int reportFd) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(127);  // the parent died before the line above
  bool ok = TakeStandardSetUp(outFd, errFd);
  for (std::size_t i = 0; ok && i < passed.size(); ++i) {
    ok = ::dup2(passed[i], static_cast<int>(3 + i)) == static_cast<int>(3 + i);
  }
  if (ok && run.addressSpaceBytes > 0) {
    const rlimit limit{run.addressSpaceBytes, run.addressSpaceBytes};
    ok = ::setrlimit(RLIMIT_AS, &limit) == 0;
  }
  if (ok && run.fileSizeBytes > 0) {
    const rlimit limit{run.fileSizeBytes, run.fileSizeBytes};
    ok = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  if (ok) ::execve(argv[0], argv, environ);
  const int failure = errno;
  (void)!::write(reportFd, &failure, sizeof failure);
  ::_exit(127);
}

// Ends and reaps the children ours left behind: they were handed to this
// process when their parent ended.
void EndOrphans() {
  const pid_t self = ::getpid();
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return;
  std::vector<pid_t> orphans;
  while (const dirent* entry = ::readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10));
    if (pid <= 0) continue;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    FILE* stat = std::fopen(path, "re");
    if (stat == nullptr) continue;
    char text[512] = {};
    const std::size_t got = std::fread(text, 1, sizeof text - 1, stat);
    std::fclose(stat);
    // "pid (name) state ppid ...": the name may hold blanks and brackets.
    const char* close = std::strrchr(text, ')');
    int parent = 0;
    if (got > 0 && close != nullptr && std::sscanf(close + 1, " %*c %d", &parent) == 1 &&
        parent == self) {
      orphans.push_back(pid);
    }
  }
  ::closedir(proc);
  std::lock_guard guard(liveLock);
  for (pid_t pid : orphans) {
    if (live.count(pid) != 0) continue;
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

[[noreturn]] void CannotStart(const ChildRun& run, int error) {
  const std::string who = run.role.empty() ? run.args[0] : run.role + " " + run.args[0];
  throw FetchError("Could not start " + who + ": " + std::strerror(error) + ".");
}

// Starts the child; returns its pid. Throws FetchError when it cannot run.
pid_t Start(const ChildRun& run, int outFd, int errFd) {
  std::vector<std::string> args = run.args;
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  // Copies above the numbers the child uses, so that dup2 always applies.
  std::vector<Fd> copies(run.passFds.size());
  std::vector<int> passed;
  for (std::size_t i = 0; i < run.passFds.size(); ++i) {
    copies[i].fd = ::fcntl(run.passFds[i], F_DUPFD_CLOEXEC, 10);
    passed.push_back(copies[i].fd);
  }
  Pipe report;
  report.Open();
  if (std::any_of(passed.begin(), passed.end(), [](int fd) { return fd < 0; })) {
    CannotStart(run, errno);
  }
  // Orphans of our children come to us, not to init, so that none outlives
  // the run that started it.
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  const pid_t parent = ::getpid();
  pid_t pid = -1;
  {
    std::lock_guard guard(liveLock);
    pid = ::fork();
    if (pid == 0) {
      BecomeChild(run, argv.data(), parent, outFd, errFd, passed, report.write.fd);
    }
    if (pid > 0) live.insert(pid);
  }
  if (pid < 0) CannotStart(run, errno);
  report.write.Close();
  int failure = 0;
  ssize_t got;
  while ((got = ::read(report.read.fd, &failure, sizeof failure)) < 0 && errno == EINTR) {
  }
  if (got == static_cast<ssize_t>(sizeof failure)) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    std::lock_guard guard(liveLock);
    live.erase(pid);
    CannotStart(run, failure);
  }
  return pid;
}

// One output of the child, kept up to `limit` bytes (its end when `tail`).
struct Capture {
  Fd* end;
  std::string* text;
  std::size_t limit;
  bool tail;
  bool overflow = false;

  // Reads one buffer; false once nothing is waiting or the writers are gone.
  bool ReadOnce() {
    if (end->fd < 0) return false;
    char buffer[65536];
    ssize_t got;
    while ((got = ::read(end->fd, buffer, sizeof buffer)) < 0 && errno == EINTR) {
    }
    if (got < 0 && errno == EAGAIN) return false;
    if (got <= 0) {
      end->Close();
      return false;
    }
    text->append(buffer, static_cast<std::size_t>(got));
    if (text->size() > limit) {
      if (!tail) overflow = true;
      // Trimmed in steps, so that a long message costs linear time.
      if (tail && text->size() > 2 * limit) text->erase(0, text->size() - limit);
    }
    return !overflow;
  }
};

// Only calls that are safe between fork and exec.
[[noreturn]] void BecomeDetached(char* const* argv) {
  ::setsid();
  if (TakeStandardSetUp(-1, -1)) ::execve(argv[0], argv, environ);
  ::_exit(127);
}

}  // namespace

std::string FindHelperProgram(const std::string& name) {
  return quillmarsh::FindProgram(name, quillmarsh::OwnProgramFolder(), std::getenv("PATH"));
}

bool ChildResult::Succeeded() const {
  return !timedOut && !outputTooLarge && WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0;
}

std::string ChildResult::EndText() const {
  if (WIFSIGNALED(waitStatus)) return "ended by signal " + std::to_string(WTERMSIG(waitStatus));
  return "exit status " + std::to_string(WEXITSTATUS(waitStatus));
}

ChildResult RunChild(const ChildRun& run) {
  Pipe out, err;
  if (run.keepOutput > 0 && run.outputFile < 0) out.Open();
  if (run.keepErrors > 0) err.Open();
  const pid_t pid = Start(run, run.outputFile >= 0 ? run.outputFile : out.write.fd, err.write.fd);
  out.write.Close();
  err.write.Close();
  Fd ended(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0u)));
  for (const Fd* end : {&out.read, &err.read}) {
    if (end->fd >= 0) ::fcntl(end->fd, F_SETFL, ::fcntl(end->fd, F_GETFL) | O_NONBLOCK);
  }

  ChildResult result;
  Capture captures[2] = {{&out.read, &result.output, run.keepOutput, false},
                         {&err.read, &result.errors, run.keepErrors, true}};
  const auto deadline = Clock::now() + run.timeLimit;
  bool exited = false;
  while (!exited && !captures[0].overflow) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      result.timedOut = true;
      break;
    }
    // Without a pidfd, look in short steps whether the child has ended.
    pollfd fds[3] = {{out.read.fd, POLLIN, 0}, {err.read.fd, POLLIN, 0}, {ended.fd, POLLIN, 0}};
    const long long step = ended.fd >= 0 ? left : std::min<long long>(left, 100);
    if (::poll(fds, 3, static_cast<int>(std::min<long long>(step, 1 << 30))) < 0 &&
        errno != EINTR) {
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents != 0) captures[i].ReadOnce();
    }
    siginfo_t info{};
    exited = ended.fd >= 0 ? fds[2].revents != 0
                           : ::waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                                 info.si_pid == pid;
  }
  // What it wrote before it ended is all in the pipes now; whatever it left
  // running may keep them open, so read only what is there.
  if (exited) {
    for (Capture& capture : captures) {
      for (std::size_t reads = capture.limit / 65536 + 2; reads > 0 && capture.ReadOnce();
           --reads) {
      }
    }
  }
  result.outputTooLarge = captures[0].overflow;
  if (!exited || result.outputTooLarge) ::kill(pid, SIGKILL);
  if (result.errors.size() > run.keepErrors) {
    result.errors.erase(0, result.errors.size() - run.keepErrors);
  }
  if (result.outputTooLarge) {
    result.output.clear();
    result.output.shrink_to_fit();
  }
  while (::waitpid(pid, &result.waitStatus, 0) < 0 && errno == EINTR) {
  }
  {
    std::lock_guard guard(liveLock);
    live.erase(pid);
  }
  EndOrphans();
  return result;
}

bool StartDetached(const std::vector<std::string>& args) {
  std::vector<std::string> copies = args;
  std::vector<char*> argv;
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);
  // Counted among the live children for good, so that no run's clean-up
  // takes it for one left behind; it is reaped when this process ends.
  std::lock_guard guard(liveLock);
  const pid_t pid = ::fork();
  if (pid == 0) BecomeDetached(argv.data());
  if (pid < 0) return false;
  live.insert(pid);
  return true;
}

}  // namespace tarnfetch
