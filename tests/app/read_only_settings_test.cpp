// A settings file that its owner made read-only stays as it is: the real
// program, run as an ordinary user (root may write any file), refuses the
// saves at start-up and at the close with the message, leaves every byte in
// place and still closes.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <filesystem>

#include "support/AppFolder.h"
#include "support/QtTestApp.h"

namespace quillmarsh {

namespace fs = std::filesystem;

namespace {
const char* const kStored =
    "; written by hand, with comments\r\n"
    "[Config]\r\n"
    "Mission=1\r\n"
    "\r\n"
    "; the one mission\r\n"
    "[0]\r\n"
    "url=http://v/kept\r\n"
    "status=[Downloaded]\r\n";

// Root passes every permission check, so the program runs as "nobody" then,
// in a folder that belongs to it.
struct Account {
  uid_t uid = getuid();
  gid_t gid = getgid();
  bool switchUser = geteuid() == 0;
};

Account Ordinary(const fs::path& root) {
  Account a;
  if (!a.switchUser) return a;
  const passwd* nobody = getpwnam("nobody");
  if (!nobody) return a;
  a.uid = nobody->pw_uid;
  a.gid = nobody->pw_gid;
  lchown(root.c_str(), a.uid, a.gid);
  for (const auto& entry : fs::recursive_directory_iterator(root))
    lchown(entry.path().c_str(), a.uid, a.gid);
  return a;
}

struct ProbeRun {
  QByteArray out;
  int exitCode = -1;
};

ProbeRun RunAs(const Account& a, const AppFolder& app) {
  QProcess probe;
  probe.setProcessEnvironment(app.environment());
  if (a.switchUser) {
    probe.setChildProcessModifier([a] {
      if (setgroups(0, nullptr) != 0 || setgid(a.gid) != 0 || setuid(a.uid) != 0) _exit(121);
    });
  }
  probe.start(QString::fromStdString(app.program()), {QStringLiteral("--quit-when-shown")});
  ProbeRun r;
  if (!probe.waitForFinished(20000)) {
    probe.kill();
    probe.waitForFinished();
  }
  r.out = probe.readAllStandardOutput() + probe.readAllStandardError();
  r.exitCode = probe.exitCode();
  return r;
}
}  // namespace

TEST(ReadOnlySettings, RefusedWithTheMessageAndKeptByteForByte) {
  EnsureQtApp();
  struct Case {
    const char* name;
    mode_t mode;
    bool refused;
  };
  // The writable case shows that the folder lets this user save at all.
  for (const Case& c : {Case{"read-only", 0444, true}, Case{"writable", 0644, false}}) {
    AppFolder app;
    fs::create_directories(app.dataDir());
    WriteFile(app.iniPath(), kStored);
    const Account user = Ordinary(fs::path(app.appDir()).parent_path());
    ASSERT_TRUE(!user.switchUser || user.uid != 0) << "no unprivileged account";
    ASSERT_EQ(chmod(app.iniPath().c_str(), c.mode), 0);

    const ProbeRun run = RunAs(user, app);
    ASSERT_EQ(run.exitCode, 0) << c.name << "\n" << run.out.constData();
    ASSERT_TRUE(run.out.contains("SHOWN")) << c.name << "\n" << run.out.constData();
    const QByteArray box =
        "BOX\tQuillmarsh\tUnable to write to " + QByteArray(app.iniPath().c_str());
    // Refused at start-up and at the close, which goes ahead all the same.
    EXPECT_EQ(run.out.count(box), c.refused ? 2 : 0) << c.name << "\n" << run.out.constData();
    EXPECT_TRUE(run.out.contains("BOX\tQuillmarsh\tAre you sure to close now?")) << c.name;
    EXPECT_EQ(ReadFile(app.iniPath()) == kStored, c.refused) << c.name;
    struct stat st {};
    ASSERT_EQ(stat(app.iniPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode) << c.name;
    EXPECT_EQ(st.st_uid, user.uid) << c.name;
  }
}

}  // namespace quillmarsh
