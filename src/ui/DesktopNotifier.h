#pragma once
// Desktop notifications through the freedesktop notification service
// (org.freedesktop.Notifications on the session bus). Messages that come
// within two seconds of the last notification are grouped into the next
// one. Without a session bus or a service nothing is shown and nothing
// waits: the call is sent without waiting for its answer. Titles are
// escaped for services that read markup in the body, so that a title
// such as "Tom & Jerry <b>" shows as written.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>

class QDBusConnection;

namespace quillmarsh {

class DesktopNotifier : public QObject {
  Q_OBJECT
 public:
  static constexpr std::chrono::milliseconds kMinimumGap{2000};

  explicit DesktopNotifier(QString appName, QObject* parent = nullptr);

  // Queues one line ("Title: outcome"); it is sent at once, or grouped
  // with the others when the last notification went out less than
  // kMinimumGap ago.
  void post(const QString& line);

  // Notifications sent so far (tests).
  int sentCount() const { return sent_; }

 private:
  void flush();
  void send(const QString& summary, const QString& body);
  void askCapabilities(QDBusConnection& bus);
  bool askedCapabilities_ = false;

  // Until the service says otherwise it is taken to read markup, as most do.
  bool bodyMarkup_ = true;
  QString appName_;
  QStringList pending_;
  QTimer gap_;
  int sent_ = 0;
};

}  // namespace quillmarsh
