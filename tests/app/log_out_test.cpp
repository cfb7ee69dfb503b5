// Log-out, shutdown and Ctrl-C: the real program, as a process of its own,
// gets SIGTERM, SIGHUP or SIGINT while a download runs.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>
#include <string>

#include "support/ProbeProcess.h"
#include "support/QtTestApp.h"

namespace quillmarsh {

namespace {
// One download that stays at 45 % until it is ended.
QStringList Downloading(const AppFolder& app, const std::string& name) {
  UseFakeDownloader(app, name,
                    "out <speed> 45.7% of 8.0M at 1.2M ETA 00:05</speed>\\n\nsleep 60000\n");
  return {QStringLiteral("--add"), QString::fromStdString("http://v/" + name)};
}
}  // namespace

TEST(LogOut, EachSignalSavesTheListEndsEveryChildAndExitsWithZero) {
  EnsureQtApp();
  for (const int number : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(strsignal(number));
    AppFolder app;
    const std::string name = "logout-" + std::to_string(number);
    ProbeProcess run(app, Downloading(app, name));
    ASSERT_TRUE(run.WaitFor("ROW\t0\t[Downloading] 45%\t45")) << run.out.constData();
    ASSERT_EQ(run.Children("http://v/" + name).size(), 1u);

    run.Signal(number);
    ASSERT_TRUE(run.WaitForEnd(5000)) << "still running 5 s after the signal";
    EXPECT_EQ(run.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.process.exitCode(), 0);
    EXPECT_TRUE(run.out.contains("EXIT\t0")) << run.out.constData();
    EXPECT_FALSE(run.out.contains("BOX")) << "nothing may wait for an answer";
    EXPECT_TRUE(run.Children("http://v/" + name).empty()) << "the downloader survived";
    const std::string saved = ReadFile(app.iniPath());
    EXPECT_NE(saved.find("url=http://v/" + name + "\r\nstatus=[Downloading] 45%\r\n"),
              std::string::npos)
        << saved;
  }
}

// Two signals before the program could act on the first: it ends at once,
// as a second Ctrl-C does, and takes its children with it.
TEST(LogOut, SecondSignalEndsAtOnce) {
  EnsureQtApp();
  AppFolder app;
  ProbeProcess run(app, Downloading(app, "logout-twice"));
  ASSERT_TRUE(run.WaitFor("ROW\t0\t[Downloading] 45%\t45")) << run.out.constData();
  run.Signal(SIGSTOP);
  run.Signal(SIGTERM);
  run.Signal(SIGINT);
  run.Signal(SIGCONT);
  ASSERT_TRUE(run.WaitForEnd(5000));
  EXPECT_EQ(run.process.exitStatus(), QProcess::CrashExit);
  EXPECT_FALSE(run.out.contains("EXIT")) << run.out.constData();
  // SIGKILL has been sent to the downloader's group; it dies when next scheduled.
  EXPECT_TRUE(SpinUntil([&] { return run.Children("http://v/logout-twice").empty(); },
                        std::chrono::seconds(2)))
      << "the downloader survived";
}

}  // namespace quillmarsh
