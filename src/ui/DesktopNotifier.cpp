#include "ui/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace quillmarsh {

DesktopNotifier::DesktopNotifier(QString appName, QObject* parent)
    : QObject(parent), appName_(std::move(appName)) {
  gap_.setSingleShot(true);
  gap_.setInterval(kMinimumGap);
  connect(&gap_, &QTimer::timeout, this, &DesktopNotifier::flush);
}

static QDBusMessage NotificationsCall(const QString& method) {
  return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                        QStringLiteral("/org/freedesktop/Notifications"),
                                        QStringLiteral("org.freedesktop.Notifications"), method);
}

void DesktopNotifier::askCapabilities(QDBusConnection& bus) {
  auto* watcher = new QDBusPendingCallWatcher(
      bus.asyncCall(NotificationsCall(QStringLiteral("GetCapabilities"))), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
    QDBusPendingReply<QStringList> reply = *call;
    if (reply.isValid()) bodyMarkup_ = reply.value().contains(QStringLiteral("body-markup"));
    call->deleteLater();
  });
}

void DesktopNotifier::post(const QString& line) {
  pending_.append(line);
  if (!gap_.isActive()) flush();
}

void DesktopNotifier::flush() {
  if (pending_.isEmpty()) return;
  if (pending_.size() == 1)
    send(appName_, pending_.front());
  else
    send(QStringLiteral("%1: %2 missions").arg(appName_).arg(pending_.size()),
         pending_.join(QLatin1Char('\n')));
  pending_.clear();
  // Whatever comes before the gap has passed waits for it.
  gap_.start();
}

void DesktopNotifier::send(const QString& summary, const QString& body) {
  ++sent_;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  // Asked with the first notification, not at start-up; until the answer
  // comes, markup is assumed.
  if (!askedCapabilities_) {
    askedCapabilities_ = true;
    askCapabilities(bus);
  }
  QDBusMessage call = NotificationsCall(QStringLiteral("Notify"));
  call << appName_ << uint(0) << QStringLiteral("quillmarsh") << summary
       << (bodyMarkup_ ? body.toHtmlEscaped() : body) << QStringList() << QVariantMap() << int(-1);
  // The answer (an id, or an error without a service) is of no use here.
  bus.asyncCall(call);
}

}  // namespace quillmarsh
