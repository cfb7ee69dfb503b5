#include "platform/ConsoleProcess.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "support/QtTestApp.h"

namespace quillmarsh {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

std::string Probe() {
  return TestToolPath("child_probe");
}

// Reads until the child has ended and the pipe is empty.
std::string Drain(ConsoleProcess& p) {
  std::string out;
  for (;;) {
    const bool ended = p.Wait(20ms) == ConsoleProcess::WaitResult::Exited;
    const std::string chunk = p.Read(4096);
    out += chunk;
    if (ended && chunk.empty()) return out;
  }
}

std::string RunProbe(const std::vector<std::string>& args,
                     ConsoleProcess::Stdin in = ConsoleProcess::Stdin::Null) {
  std::vector<std::string> argv{Probe()};
  argv.insert(argv.end(), args.begin(), args.end());
  ConsoleProcess p;
  std::string error;
  EXPECT_TRUE(p.Start(argv, in, &error)) << error;
  return Drain(p);
}

int CountOpenDescriptors() {
  int n = 0;
  DIR* dir = ::opendir("/proc/self/fd");
  while (const dirent* e = ::readdir(dir))
    if (e->d_name[0] != '.') ++n;
  ::closedir(dir);
  return n - 1;  // the directory's own descriptor
}

// Children of this process, zombies included.
int CountChildren() {
  int n = 0;
  DIR* dir = ::opendir("/proc");
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(text.substr(close + 2));
    char state;
    int ppid = 0;
    rest >> state >> ppid;
    if (ppid == ::getpid()) ++n;
  }
  ::closedir(dir);
  return n;
}

// True once the process is gone or only a zombie awaiting its new parent.
bool ProcessEnded(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return true;
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  const auto close = text.rfind(')');
  return close == std::string::npos || text.at(close + 2) == 'Z' || text.at(close + 2) == 'X';
}

}  // namespace

TEST(ConsoleProcess, MergesStandardOutputAndErrorInOrder) {
  std::string expected;
  for (int i = 0; i < 300; ++i)
    expected += "out " + std::to_string(i) + "\nerr " + std::to_string(i) + "\n";
  EXPECT_EQ(RunProbe({"interleave", "300"}), expected);
}

TEST(ConsoleProcess, PassesAwkwardArgumentsUnchanged) {
  const std::vector<std::string> awkward{
      "",           " leading", "trailing ",   "two words", "\"quoted\"",
      "'single'",   "$PATH",    "-p",          "--help",    "a\\b",
      "semi;colon", "x|y&z",    "line\nbreak", "Grüße",     "%(title)s.%(ext)s",
      "*",          "`id`"};
  std::vector<std::string> args{"echo"};
  args.insert(args.end(), awkward.begin(), awkward.end());
  const std::string out = RunProbe(args);

  std::vector<std::string> received;
  std::size_t start = 0;
  for (std::size_t zero; (zero = out.find('\0', start)) != std::string::npos; start = zero + 1)
    received.push_back(out.substr(start, zero - start));
  EXPECT_EQ(received, awkward);
}

TEST(ConsoleProcess, ChildSeesOnlyStandardDescriptors) {
  // A descriptor opened without close-on-exec must not leak into the child.
  const int stray = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(stray, 3);
  EXPECT_EQ(RunProbe({"fds"}), "0 1 2");
  EXPECT_EQ(RunProbe({"fds"}, ConsoleProcess::Stdin::Pipe), "0 1 2");
  ::close(stray);
  EXPECT_EQ(RunProbe({"stdin"}), "eof");
}

TEST(ConsoleProcess, ChildLeadsItsOwnGroupWithDefaultSignals) {
  sigset_t blocked, old;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &blocked, &old);
  ConsoleProcess p;
  ASSERT_TRUE(p.Start({"/bin/sh", "-c", "grep SigBlk /proc/self/status; sleep 2"},
                      ConsoleProcess::Stdin::Null));
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  EXPECT_EQ(::getpgid(p.Pid()), p.Pid());
  EXPECT_NE(::getpgid(p.Pid()), ::getpgid(0));
  std::string line;
  while (line.find('\n') == std::string::npos) line += p.Read(100);
  EXPECT_EQ(line, "SigBlk:\t0000000000000000\n");
  p.Terminate();
}

// A program that is killed (no handler runs) takes its children along.
TEST(ConsoleProcess, ChildEndsWhenItsParentIsKilled) {
  int pidPipe[2];
  ASSERT_EQ(::pipe(pidPipe), 0);
  const pid_t parent = ::fork();
  if (parent == 0) {
    ConsoleProcess p;
    const int pid = p.Start({"/bin/sleep", "60"}, ConsoleProcess::Stdin::Null) ? p.Pid() : 0;
    if (::write(pidPipe[1], &pid, sizeof pid) > 0) ::pause();
    ::_exit(1);
  }
  int child = 0;
  ASSERT_EQ(::read(pidPipe[0], &child, sizeof child), static_cast<ssize_t>(sizeof child));
  ::kill(parent, SIGKILL);
  ::waitpid(parent, nullptr, 0);
  // Gone, or a zombie nobody reaps in this container: either way not running.
  const auto running = [child] {
    std::ifstream stat("/proc/" + std::to_string(child) + "/stat");
    std::string pid, name, state;
    return stat >> pid >> name >> state && state != "Z" && state != "X";
  };
  for (const auto end = Clock::now() + 10s; running() && Clock::now() < end;)
    std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(child > 0 && !running());
  if (running()) ::kill(child, SIGKILL);
}

TEST(ConsoleProcess, MissingProgramFailsToStart) {
  for (const std::string& program :
       {std::string("/nonexistent/tarnfetch"), std::string(QM_SOURCE_DIR "/README.md")}) {
    ConsoleProcess p;
    std::string error;
    EXPECT_FALSE(p.Start({program, "x"}, ConsoleProcess::Stdin::Null, &error)) << program;
    EXPECT_FALSE(p.Started());
    EXPECT_NE(error.find(program), std::string::npos) << error;
    EXPECT_EQ(p.Wait(10ms), ConsoleProcess::WaitResult::Exited);
    EXPECT_EQ(p.Read(10), "");
    EXPECT_FALSE(p.ExitStatus());
  }
}

TEST(ConsoleProcess, WaitTimesOutAndReportsExitStatus) {
  ConsoleProcess p;
  ASSERT_TRUE(p.Start({Probe(), "sleep", "5000"}, ConsoleProcess::Stdin::Null));
  const auto begin = Clock::now();
  EXPECT_EQ(p.Wait(150ms), ConsoleProcess::WaitResult::Timeout);
  const auto waited = Clock::now() - begin;
  EXPECT_GE(waited, 140ms);
  EXPECT_LT(waited, 1500ms);
  EXPECT_FALSE(p.ExitStatus());
  p.Terminate();
  EXPECT_EQ(p.Wait(5s), ConsoleProcess::WaitResult::Exited);
  EXPECT_EQ(p.ExitStatus(), 128 + SIGKILL);

  ConsoleProcess q;
  ASSERT_TRUE(q.Start({Probe(), "exit", "7"}, ConsoleProcess::Stdin::Null));
  EXPECT_EQ(q.Wait(5s), ConsoleProcess::WaitResult::Exited);
  EXPECT_EQ(q.ExitStatus(), 7);
}

TEST(ConsoleProcess, ReadTakesAtMostTheCapAndLeavesTheRest) {
  ConsoleProcess p;
  ASSERT_TRUE(p.Start({Probe(), "bytes", "2000"}, ConsoleProcess::Stdin::Null));
  ASSERT_EQ(p.Wait(5s), ConsoleProcess::WaitResult::Exited);
  std::size_t total = 0;
  for (int i = 0; i < 4; ++i) {
    const std::string chunk = p.Read(500);
    EXPECT_EQ(chunk, std::string(500, 'x'));
    total += chunk.size();
  }
  EXPECT_EQ(total, 2000u);
  const auto begin = Clock::now();
  EXPECT_EQ(p.Read(500), "");
  EXPECT_LT(Clock::now() - begin, 100ms);
}

TEST(ConsoleProcess, ReadAfterTheEndDoesNotWaitForAGrandchild) {
  ConsoleProcess p;
  ASSERT_TRUE(p.Start({"/bin/sh", "-c", "sleep 30 & echo hi"}, ConsoleProcess::Stdin::Null));
  const int group = p.Pid();
  const auto begin = Clock::now();
  std::string out;
  for (;;) {
    const auto waited = p.Wait(500ms);
    out += p.Read(500);
    if (waited == ConsoleProcess::WaitResult::Exited) break;
  }
  EXPECT_LT(Clock::now() - begin, 1500ms);
  EXPECT_EQ(out, "hi\n");
  ::kill(-group, SIGKILL);  // the sleep still runs in the child's group
}

TEST(ConsoleProcess, TerminateEndsTheWholeGroup) {
  ConsoleProcess p;
  ASSERT_TRUE(p.Start({"/bin/sh", "-c", "sleep 30 & echo $!; wait"}, ConsoleProcess::Stdin::Null));
  std::string line;
  while (line.find('\n') == std::string::npos) line += p.Read(100);
  const int grandchild = std::stoi(line);
  ASSERT_FALSE(ProcessEnded(grandchild));

  std::thread other([&p] { p.Terminate(); });  // from another thread, as Stop does
  other.join();
  EXPECT_EQ(p.Wait(5s), ConsoleProcess::WaitResult::Exited);
  EXPECT_EQ(p.ExitStatus(), 128 + SIGKILL);
  const auto deadline = Clock::now() + 5s;
  while (!ProcessEnded(grandchild) && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(ProcessEnded(grandchild));
}

TEST(ConsoleProcess, TerminateRacingANaturalEndIsHarmless) {
  for (int i = 0; i < 200; ++i) {
    ConsoleProcess p;
    ASSERT_TRUE(p.Start({Probe(), "exit", "0"}, ConsoleProcess::Stdin::Null));
    std::thread stopper([&p, i] {
      std::this_thread::sleep_for(std::chrono::microseconds((i % 20) * 100));
      p.Terminate();
    });
    ConsoleProcess::WaitResult r = ConsoleProcess::WaitResult::Timeout;
    while (r != ConsoleProcess::WaitResult::Exited) r = p.Wait(1ms);
    stopper.join();
    p.Terminate();  // after the reap: nothing left to signal
    const auto status = p.ExitStatus();
    ASSERT_TRUE(status);
    EXPECT_TRUE(*status == 0 || *status == 128 + SIGKILL) << *status;
  }
  ConsoleProcess never;
  never.Terminate();
  EXPECT_FALSE(never.Start({Probe(), "exit", "0"}, ConsoleProcess::Stdin::Null));
}

TEST(ConsoleProcess, LeavesNoDescriptorOrZombieBehind) {
  const int fdsBefore = CountOpenDescriptors();
  const int childrenBefore = CountChildren();
  for (int i = 0; i < 1000; ++i) {
    ConsoleProcess p;
    if (i % 10 == 0) {
      // Destroyed while the child still runs: killed and reaped.
      ASSERT_TRUE(p.Start({"/bin/sleep", "30"}, ConsoleProcess::Stdin::Pipe));
      continue;
    }
    ASSERT_TRUE(
        p.Start({"/bin/true"}, i % 2 ? ConsoleProcess::Stdin::Null : ConsoleProcess::Stdin::Pipe));
    Drain(p);
  }
  EXPECT_EQ(CountOpenDescriptors(), fdsBefore);
  EXPECT_EQ(CountChildren(), childrenBefore);
}

}  // namespace quillmarsh
