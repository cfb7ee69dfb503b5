// Addresses from other processes reach the running window: `quillmarsh
// URL...` started a second time, and the browser extension's host fed
// native messages. Real processes, the real lock and socket.
#include <gtest/gtest.h>

#include <filesystem>

#include <QApplication>
#include <QElapsedTimer>

#include "support/AppFolder.h"
#include "support/ProbeProcess.h"
#include "support/QtTestApp.h"

namespace quillmarsh {

namespace {
// Nothing listens at port 9: the downloads fail at once, on loopback.
const QString kFirst = QStringLiteral("http://127.0.0.1:9/first");
const QString kSecond = QStringLiteral("http://127.0.0.1:9/second");

class HandOffToWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApp<QApplication>();
    ASSERT_TRUE(running_.WaitFor("SHOWN")) << running_.out.constData();
  }
  // Runs `program` to its end with `input` on its standard input.
  QProcess& run(const QString& program, const QStringList& args, const QByteArray& input = {}) {
    other_.setProcessEnvironment(app_.environment());
    other_.start(program, args);
    other_.write(input);
    other_.closeWriteChannel();
    EXPECT_TRUE(other_.waitForFinished(30000));
    return other_;
  }
  QString probe() const { return QString::fromStdString(app_.program()); }
  AppFolder app_;
  ProbeProcess running_{app_, {}};
  QProcess other_;
};

QByteArray NativeMessage(const QByteArray& json) {
  const auto length = static_cast<quint32>(json.size());
  return QByteArray(reinterpret_cast<const char*>(&length), 4) + json;
}
}  // namespace

TEST_F(HandOffToWindow, ASecondStartHandsItsAddressesOverAndEndsAtOnce) {
  QElapsedTimer clock;
  clock.start();
  QProcess& second = run(probe(), {kFirst, kSecond});
  const qint64 ms = clock.elapsed();
  EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().constData();
  EXPECT_LT(ms, 1000) << "the second start took " << ms << " ms";
  const QByteArray out = second.readAllStandardOutput();
  EXPECT_FALSE(out.contains("BOX")) << out.constData();
  EXPECT_FALSE(out.contains("SHOWN")) << out.constData();
  EXPECT_TRUE(running_.WaitFor(":9/first")) << running_.out.constData();
  EXPECT_TRUE(running_.WaitFor(":9/second")) << running_.out.constData();

  // A file path is no address: refused here, nothing sent.
  QProcess& third = run(probe(), {QString::fromStdString(app_.iniPath())});
  EXPECT_EQ(third.exitCode(), 2);
  EXPECT_TRUE(third.readAllStandardError().contains("not a web address"));
  EXPECT_FALSE(third.readAllStandardOutput().contains("BOX"));
  run(probe(), {QStringLiteral("http://127.0.0.1:9/third")});
  EXPECT_TRUE(running_.WaitFor("ROW\t2\t")) << running_.out.constData();
  EXPECT_TRUE(running_.out.contains(":9/third")) << running_.out.constData();
}

TEST(HandOffToNoWindow, AFirstStartBeginsWithItsAddresses) {
  EnsureQtApp<QApplication>();
  AppFolder app;
  ProbeProcess first(app, {kFirst, QStringLiteral("/not/an/address")});
  EXPECT_TRUE(first.WaitFor("ROW\t0\t")) << first.out.constData();
  EXPECT_TRUE(first.out.contains(":9/first")) << first.out.constData();
  EXPECT_FALSE(first.out.contains("ROW\t1\t")) << first.out.constData();
}

TEST(HandOffToNoWindow, AddressesHandedOverDuringAStartUpBoxAreAddedAfterIt) {
  EnsureQtApp<QApplication>();
  AppFolder app;
  // An output folder that cannot be made: the start-up shows a box, which
  // the user keeps open for 8 s.
  const std::string blocker = app.home() + "/blocker";
  WriteFile(blocker, "");
  std::filesystem::create_directories(app.dataDir());
  WriteFile(app.iniPath(), "[Config]\r\nOutput=" + blocker + "/out\r\n");
  ProbeProcess first(app, {QStringLiteral("--think"), QStringLiteral("8000")});
  ASSERT_TRUE(first.WaitFor("BOX")) << first.out.constData();

  QProcess second;
  second.setProcessEnvironment(app.environment());
  second.start(QString::fromStdString(app.program()), {kFirst});
  ASSERT_TRUE(second.waitForFinished(6000)) << "the second start waited for the box";
  EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().constData();
  EXPECT_FALSE(first.out.contains("ROW\t0\t")) << "not before the window is ready";
  EXPECT_TRUE(first.WaitFor("ROW\t0\t")) << first.out.constData();
  EXPECT_TRUE(first.out.contains(":9/first")) << first.out.constData();
}

TEST_F(HandOffToWindow, TheBrowserHostAnswersEachMessage) {
  const QString host = QStringLiteral(QM_APP_DIR "/quillmarsh-browser-host");
  const QByteArray good = R"({"urls": ["http://127.0.0.1:9/host"]})";
  const struct {
    const char* what;
    QByteArray input;
    QByteArray answers;
    int exitCode;
  } cases[] = {
      {"an address, then no JSON", NativeMessage(good) + NativeMessage("{urls"),
       NativeMessage(R"({"added":1,"ok":true})") +
           NativeMessage(R"({"error":"the message is not JSON","ok":false})"),
       0},
      {"an address already listed", NativeMessage(good), NativeMessage(R"({"added":0,"ok":true})"),
       0},
      {"not http(s)", NativeMessage(R"({"urls": ["file:///etc/passwd"]})"),
       NativeMessage(R"({"error":"not an http(s) address: \"file:///etc/passwd\"","ok":false})"),
       0},
      {"a length cut short", QByteArray("\x05\x00", 2),
       NativeMessage(R"({"error":"the message length is cut short","ok":false})"), 1},
      {"a message shorter than its length", NativeMessage(good).chopped(3),
       NativeMessage(R"({"error":"the message is shorter than its length","ok":false})"), 1},
      {"a length over 1 MiB", QByteArray("\x00\x00\x20\x00", 4),
       NativeMessage(R"({"error":"the message is larger than 1 MiB","ok":false})"), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QProcess& p = run(host, {}, c.input);
    EXPECT_EQ(p.readAllStandardOutput(), c.answers);
    EXPECT_EQ(p.exitCode(), c.exitCode);
  }
  EXPECT_TRUE(running_.WaitFor(":9/host")) << running_.out.constData();
  EXPECT_FALSE(running_.out.contains("ROW\t1\t")) << "one mission only";
}

}  // namespace quillmarsh
