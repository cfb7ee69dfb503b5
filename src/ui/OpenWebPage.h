#pragma once
// Opens a web address in the user's browser, or a folder in the file manager.

#include <QString>
#include <QStringList>
#include <functional>

namespace quillmarsh {

struct WebOpener {
  // True when the desktop has a handler registered for web addresses.
  std::function<bool()> hasWebHandler;
  // Hands the address to the desktop's registered handler.
  std::function<void(const QString& address)> openWithHandler;
  // Starts a program detached with the given arguments.
  std::function<void(const QString& program, const QStringList& args)> startProgram;
};

// The desktop's own: xdg-mime for the handler, QDesktopServices to open.
WebOpener SystemWebOpener();
// Tests replace the opener through this seam.
void SetWebOpener(WebOpener opener);

// Browser started when no handler is registered.
inline const QString kFallbackBrowser = QStringLiteral("x-www-browser");

// A blank address does nothing. With a registered handler the address is
// opened as it is; otherwise the fallback browser gets it as its argument.
void OpenWebPage(const QString& address);

// Opens a folder in the file manager; a blank path does nothing.
void OpenFolder(const QString& path);

}  // namespace quillmarsh
