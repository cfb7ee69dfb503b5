// Desktop notifications through a test notification service on a private
// session bus (a dbus-daemon of our own).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <cstdlib>

#include "app/pasMain.h"
#include "missions/MissionStatus.h"
#include "support/QtTestApp.h"

namespace quillmarsh {

namespace {
// Answers like a desktop's notification service that reads markup, and
// keeps each Notify call.
class FakeNotifications : public QDBusVirtualObject {
 public:
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
    if (message.member() == QStringLiteral("GetCapabilities")) {
      bus.send(message.createReply(
          QVariantList{QStringList{QStringLiteral("body"), QStringLiteral("body-markup")}}));
      return true;
    }
    if (message.member() != QStringLiteral("Notify")) return false;
    calls.push_back(message.arguments());
    bus.send(message.createReply(QVariantList{uint(calls.size())}));
    return true;
  }
  std::vector<QVariantList> calls;
};

class Notifications : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Before anything opens the session bus: the program's bus is ours.
    daemon_ = new QProcess;
    daemon_->start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address")});
    if (!daemon_->waitForReadyRead(10000)) return;
    address_ = QString::fromUtf8(daemon_->readLine().trimmed());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
  }
  static void TearDownTestSuite() {
    daemon_->kill();
    daemon_->waitForFinished();
    delete daemon_;
  }
  void SetUp() override {
    ASSERT_FALSE(address_.isEmpty()) << "dbus-daemon did not start";
    EnsureQtApp<QApplication>();
    service_ = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(address_, QStringLiteral("notification-service")));
    ASSERT_TRUE(service_->registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(
        service_->registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &fake_));
    w_ = std::make_unique<TfrmMain>();
    for (const char* title : {"First clip", "Second clip", "Third <clip> & co", ""})
      w_->Missions().addLsvItem(std::string("https://v.example/watch?v=") + title,
                                "[Downloading] 45%", 45, {}, title, {}, false, {}, {});
  }
  void TearDown() override {
    w_.reset();
    service_->unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    service_->unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    QDBusConnection::disconnectFromBus(QStringLiteral("notification-service"));
  }
  void finish(int row, std::string_view status) {
    w_->Missions().setStatus(row, std::string(status));
  }
  // Summary and body of each call received.
  std::vector<std::string> received() {
    std::vector<std::string> out;
    for (const QVariantList& args : fake_.calls)
      out.push_back((args.value(3).toString() + QStringLiteral(" | ") + args.value(4).toString())
                        .toStdString());
    return out;
  }

  static inline QProcess* daemon_ = nullptr;
  static inline QString address_;
  FakeNotifications fake_;
  std::unique_ptr<QDBusConnection> service_;
  std::unique_ptr<TfrmMain> w_;
};
}  // namespace

TEST_F(Notifications, EndsAreToldAndManyAtOnceAreGrouped) {
  finish(0, Status::Downloaded);  // no conversion asked: done
  ASSERT_TRUE(SpinUntil([&] { return fake_.calls.size() == 1; }));
  const QVariantList& first = fake_.calls.front();
  EXPECT_EQ(first.value(0).toString(), QStringLiteral("Quillmarsh"));  // app name
  EXPECT_EQ(first.value(7).toInt(), -1);                               // the server's time-out
  w_->Missions().setFailed(1, Status::ErrorInDownload, "The server sent an empty file");
  finish(2, Status::WaitForConvert);  // not an end
  finish(2, Status::Converted);
  ASSERT_TRUE(SpinUntil([&] { return fake_.calls.size() == 2; }, std::chrono::seconds(5)));
  SpinFor(std::chrono::milliseconds(100));
  EXPECT_EQ(received(),
            (std::vector<std::string>{
                "Quillmarsh | First clip: finished",
                "Quillmarsh: 2 missions | Second clip: failed (The server sent an empty "
                "file)\nThird &lt;clip&gt; &amp; co: finished"}));
}

TEST_F(Notifications, AMissionWithoutTitleIsNamedByItsWholeAddressAndReasonsKeepTheirText) {
  const int untitled = 3;
  w_->Missions().setFailed(untitled, Status::ErrorInDownload, "HTTP 404 <html> & more");
  ASSERT_TRUE(SpinUntil([&] { return fake_.calls.size() == 1; }));
  EXPECT_EQ(received(), std::vector<std::string>{"Quillmarsh | https://v.example/watch?v=: failed "
                                                 "(HTTP 404 &lt;html&gt; &amp; more)"})
      << "escaped for a service that reads markup, and only for it";
}

TEST_F(Notifications, NoneWhileTheWindowIsActive) {
  w_->show();
  w_->activateWindow();
  ASSERT_TRUE(SpinUntil([&] { return w_->isActiveWindow(); }));
  finish(0, Status::ErrorInDownload);
  QWidget elsewhere;
  elsewhere.show();
  elsewhere.activateWindow();
  ASSERT_TRUE(SpinUntil([&] { return !w_->isActiveWindow(); }));
  finish(1, Status::ErrorInDownload);
  // Had the first been told, the second would wait for the gap and come grouped.
  ASSERT_TRUE(SpinUntil([&] { return !fake_.calls.empty(); }));
  SpinFor(std::chrono::milliseconds(100));
  EXPECT_EQ(received(), std::vector<std::string>{"Quillmarsh | Second clip: failed"});
}

TEST_F(Notifications, NothingBreaksWithoutAService) {
  service_->unregisterService(QStringLiteral("org.freedesktop.Notifications"));
  finish(0, Status::ErrorInDownload);
  SpinFor(std::chrono::milliseconds(100));
  EXPECT_TRUE(fake_.calls.empty());
  EXPECT_EQ(w_->Missions().status(0), Status::ErrorInDownload);
}

// Draws the last request as a desktop would show it, to
// $QM_SCREENSHOT_DIR/notification.png.
TEST_F(Notifications, Screenshot) {
  const char* folder = std::getenv("QM_SCREENSHOT_DIR");
  if (!folder) GTEST_SKIP() << "QM_SCREENSHOT_DIR not set";
  finish(0, Status::ErrorInDownload);
  finish(1, Status::Converted);
  ASSERT_TRUE(SpinUntil([&] { return fake_.calls.size() == 2; }, std::chrono::seconds(5)));
  QImage card(420, 130, QImage::Format_ARGB32);
  card.fill(QColor(0x2b, 0x2f, 0x36));
  QPainter p(&card);
  p.setPen(Qt::white);
  QFont bold = p.font();
  bold.setBold(true);
  bold.setPointSize(11);
  p.setFont(bold);
  int y = 12;
  for (const QVariantList& call : fake_.calls) {
    p.setFont(bold);
    p.drawText(QRect(16, y, 390, 20), call.value(3).toString());
    QFont plain = bold;
    plain.setBold(false);
    p.setFont(plain);
    p.drawText(QRect(16, y + 20, 390, 40), Qt::TextWordWrap, call.value(4).toString());
    y += 60;
  }
  p.end();
  EXPECT_TRUE(card.save(QString::fromUtf8(folder) + QStringLiteral("/notification.png")));
}

}  // namespace quillmarsh
