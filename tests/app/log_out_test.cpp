// Log-out, shutdown and Ctrl-C: the real program, as a process of its own,
// gets SIGTERM, SIGHUP or SIGINT while a download runs.
#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "support/AppFolder.h"
#include "support/ChildProcesses.h"
#include "support/QtTestApp.h"

namespace quillmarsh {

namespace fs = std::filesystem;

namespace {
// The program with one download that stays at 45 % until it is ended.
class Running {
 public:
  explicit Running(const std::string& name) : url_("http://v/" + name) {
    fs::remove(app_.appDir() + "/tarnfetch");
    fs::create_symlink(TestToolPath("fake_tarnfetch"), app_.appDir() + "/tarnfetch");
    WriteFile(app_.appDir() + "/" + name + ".script",
              "out <speed> 45.7% of 8.0M at 1.2M ETA 00:05</speed>\\n\nsleep 60000\n");
    probe_.setProcessEnvironment(app_.environment());
    probe_.start(QString::fromStdString(app_.program()),
                 {QStringLiteral("--add"), QString::fromStdString(url_)});
  }
  ~Running() {
    probe_.kill();
    probe_.waitForFinished();
    for (const int pid : ProcessesWithArgument(url_)) ::kill(pid, SIGKILL);
  }

  // True once the row shows 45 %.
  bool WaitForProgress() {
    while (!out_.contains("ROW\t0\t[Downloading] 45%\t45")) {
      if (!probe_.waitForReadyRead(20000)) return false;
      out_ += probe_.readAllStandardOutput();
    }
    return Downloaders().size() == 1;
  }
  // The downloader's processes (the program itself has the address as an argument too).
  std::vector<int> Downloaders() const {
    std::vector<int> pids = ProcessesWithArgument(url_);
    std::erase(pids, static_cast<int>(probe_.processId()));
    return pids;
  }
  void Signal(int number) { ::kill(static_cast<pid_t>(probe_.processId()), number); }
  bool WaitForEnd(int ms) {
    const bool ended = probe_.waitForFinished(ms);
    out_ += probe_.readAllStandardOutput();
    return ended;
  }

  QProcess probe_;
  QByteArray out_;
  const std::string url_;
  AppFolder app_;
};
}  // namespace

TEST(LogOut, EachSignalSavesTheListEndsEveryChildAndExitsWithZero) {
  EnsureQtApp();
  for (const int number : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(strsignal(number));
    Running run("logout-" + std::to_string(number));
    ASSERT_TRUE(run.WaitForProgress()) << run.out_.constData();

    run.Signal(number);
    ASSERT_TRUE(run.WaitForEnd(5000)) << "still running 5 s after the signal";
    EXPECT_EQ(run.probe_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.probe_.exitCode(), 0);
    EXPECT_TRUE(run.out_.contains("EXIT\t0")) << run.out_.constData();
    EXPECT_FALSE(run.out_.contains("BOX")) << "nothing may wait for an answer";
    EXPECT_TRUE(run.Downloaders().empty()) << "the downloader survived";
    const std::string saved = ReadFile(run.app_.iniPath());
    EXPECT_NE(saved.find("url=" + run.url_ + "\r\nstatus=[Downloading] 45%\r\n"), std::string::npos)
        << saved;
  }
}

// Two signals before the program could act on the first: it ends at once,
// as a second Ctrl-C does, and takes its children with it.
TEST(LogOut, SecondSignalEndsAtOnce) {
  EnsureQtApp();
  Running run("logout-twice");
  ASSERT_TRUE(run.WaitForProgress()) << run.out_.constData();
  run.Signal(SIGSTOP);
  run.Signal(SIGTERM);
  run.Signal(SIGINT);
  run.Signal(SIGCONT);
  ASSERT_TRUE(run.WaitForEnd(5000));
  EXPECT_EQ(run.probe_.exitStatus(), QProcess::CrashExit);
  EXPECT_FALSE(run.out_.contains("EXIT")) << run.out_.constData();
  EXPECT_TRUE(run.Downloaders().empty()) << "the downloader survived";
}

}  // namespace quillmarsh
