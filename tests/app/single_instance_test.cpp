// The program runs once per logon: real processes, real lock.
#include <gtest/gtest.h>
#include <signal.h>
#include <QApplication>

#include <QProcess>

#include "support/AppFolder.h"
#include "support/QtTestApp.h"

namespace quillmarsh {

namespace {
struct ProbeRun {
  QByteArray out;
  int exitCode = -1;
  bool finished = false;
};

// Starts the probe and waits until it has printed `marker` (or ended).
bool startUntil(QProcess& p, const AppFolder& app, const QStringList& args,
                const QByteArray& marker) {
  p.setProcessEnvironment(app.environment());
  p.start(QString::fromStdString(app.program()), args);
  if (!p.waitForStarted(10000)) return false;
  QByteArray seen;
  while (!seen.contains(marker)) {
    if (!p.waitForReadyRead(20000)) return false;
    seen += p.readAllStandardOutput();
  }
  return true;
}

ProbeRun runToEnd(const AppFolder& app, const QStringList& args) {
  QProcess p;
  p.setProcessEnvironment(app.environment());
  p.start(QString::fromStdString(app.program()), args);
  ProbeRun r;
  r.finished = p.waitForFinished(30000);
  r.out = p.readAllStandardOutput();
  r.exitCode = p.exitCode();
  if (!r.finished) p.kill(), p.waitForFinished();
  return r;
}
}  // namespace

TEST(SingleInstance, SecondStartShowsMessageAndEndsWhileFirstRuns) {
  EnsureQtApp<QApplication>();
  AppFolder app;
  QProcess first;
  ASSERT_TRUE(startUntil(first, app, {}, "SHOWN")) << first.readAllStandardError().constData();

  const ProbeRun second = runToEnd(app, {QStringLiteral("--quit-when-shown")});
  ASSERT_TRUE(second.finished);
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_TRUE(second.out.contains("BOX\tQuillmarsh\tQuillmarsh has already running!\n"))
      << second.out.constData();
  EXPECT_FALSE(second.out.contains("SHOWN")) << "the second instance made a window";
  EXPECT_EQ(first.state(), QProcess::Running) << "the first instance must be unaffected";

  // A crash of the first instance must not block the next start.
  ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
  ASSERT_TRUE(first.waitForFinished(10000));
  const ProbeRun third = runToEnd(app, {QStringLiteral("--quit-when-shown")});
  ASSERT_TRUE(third.finished);
  EXPECT_EQ(third.exitCode, 0);
  EXPECT_TRUE(third.out.contains("SHOWN\tQuillmarsh")) << third.out.constData();
  EXPECT_FALSE(third.out.contains("already running")) << third.out.constData();
}

}  // namespace quillmarsh
