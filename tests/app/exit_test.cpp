// Closing the main window ends the program promptly: with the diagnostics
// window open, and with a download still running.
#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>

#include "support/AppFolder.h"
#include "support/ChildProcesses.h"
#include "support/QtTestApp.h"

namespace quillmarsh {

namespace fs = std::filesystem;

TEST(Exit, ClosingTheWindowEndsTheProgramAndItsChildren) {
  EnsureQtApp();
  AppFolder app;
  // A downloader that never finishes by itself.
  fs::remove(app.appDir() + "/tarnfetch");
  fs::create_symlink(TestToolPath("fake_tarnfetch"), app.appDir() + "/tarnfetch");
  WriteFile(app.appDir() + "/forever.script", "out <Go>\\n\nsleep 60000\n");

  QProcess probe;
  probe.setProcessEnvironment(app.environment());
  probe.start(
      QString::fromStdString(app.program()),
      {QStringLiteral("--debug"), QStringLiteral("--add"), QStringLiteral("http://v/forever"),
       QStringLiteral("--close-after"), QStringLiteral("1500")});
  ASSERT_TRUE(probe.waitForFinished(15000)) << "the program did not end";
  const QByteArray out = probe.readAllStandardOutput();
  EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(probe.exitCode(), 0) << probe.readAllStandardError().constData();
  EXPECT_TRUE(out.contains("BOX\tQuillmarsh\tAre you sure to close now?")) << out.constData();
  EXPECT_TRUE(out.contains("[Downloading]")) << out.constData();
  EXPECT_TRUE(ProcessesWithArgument("http://v/forever").empty()) << "the downloader survived";
  EXPECT_NE(ReadFile(app.iniPath()).find("url=http://v/forever"), std::string::npos);
}

}  // namespace quillmarsh
