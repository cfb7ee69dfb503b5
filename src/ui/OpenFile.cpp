#include "ui/OpenFile.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace quillmarsh {

namespace {
FileOpener& current() {
  static FileOpener opener = SystemFileOpener();
  return opener;
}

void openFolderOf(const QString& path) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

void selectInFileManager(const QString& path) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    openFolderOf(path);
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.FileManager1"),
      QStringLiteral("/org/freedesktop/FileManager1"),
      QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
  call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
  // A file manager without the service still opens the folder.
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [path](QDBusPendingCallWatcher* w) {
    if (w->isError()) openFolderOf(path);
    w->deleteLater();
  });
}
}  // namespace

FileOpener SystemFileOpener() {
  FileOpener o;
  o.openFile = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
  o.showInFolder = selectInFileManager;
  return o;
}

void SetFileOpener(FileOpener opener) {
  current() = std::move(opener);
}

void OpenFile(const QString& path) {
  if (path.trimmed().isEmpty()) return;
  current().openFile(path);
}

void ShowInFolder(const QString& path) {
  if (path.trimmed().isEmpty()) return;
  current().showInFolder(path);
}

}  // namespace quillmarsh
