#include "ui/OpenWebPage.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

#include "shared/Text.h"

namespace quillmarsh {

namespace {
WebOpener& current() {
  static WebOpener opener = SystemWebOpener();
  return opener;
}

bool isBlank(const QString& text) {
  return Trim(text.toStdString()).empty();
}
}  // namespace

WebOpener SystemWebOpener() {
  WebOpener o;
  o.hasWebHandler = [] {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                             QStringLiteral("x-scheme-handler/http")});
    if (!query.waitForFinished(3000)) {
      query.kill();
      query.waitForFinished(1000);
      return false;
    }
    return query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty();
  };
  o.openWithHandler = [](const QString& address) {
    QDesktopServices::openUrl(QUrl::fromUserInput(address));
  };
  o.startProgram = [](const QString& program, const QStringList& args) {
    QProcess::startDetached(program, args);
  };
  return o;
}

void SetWebOpener(WebOpener opener) {
  current() = std::move(opener);
}

void OpenWebPage(const QString& address) {
  if (isBlank(address)) return;
  const WebOpener& o = current();
  if (o.hasWebHandler())
    o.openWithHandler(address);
  else
    o.startProgram(kFallbackBrowser, {address});
}

void OpenFolder(const QString& path) {
  if (isBlank(path)) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace quillmarsh
