// Closing the window and stopping every worker.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QPushButton>

#include "app/pasDebug.h"
#include "app/pasGlobal.h"
#include "app/pasMain.h"
#include "pipeline/StopAll.h"
#include "platform/IniFile.h"
#include "ui/MessageBox.h"

namespace quillmarsh {

void TfrmMain::closeEvent(QCloseEvent* event) {
  bool canClose = true;
  FormCloseQuery(canClose);
  if (!canClose) {
    event->ignore();
    return;
  }
  event->accept();
  // Closing the main window ends the program, even while the diagnostics
  // window is still open.
  QCoreApplication::exit(0);
}

void TfrmMain::FormCloseQuery(bool& canClose) {
  if (closing_) return;  // already confirmed
  if (ShowMessageBox(QString::fromUtf8(kAppTitle), QStringLiteral("Are you sure to close now?"),
                     MsgKind::Warning, mbYes | mbNo) != mrYes) {
    canClose = false;
    return;
  }
  AppendToReport("Closing...");
  try {
    SaveSettings();
  } catch (const IniWriteError& e) {
    ShowMessageBox(QString::fromUtf8(kAppTitle), QString::fromUtf8(e.what()), MsgKind::Error, mbOK);
    // A failure that may pass (a full disk): stay open rather than lose the
    // list. A file the user made read-only would keep the window open for
    // good: it closes, and the file stays as its owner left it.
    if (!e.PermissionDenied()) {
      canClose = false;
      return;
    }
  }
  closing_ = true;
  ini_.reset();
  closeAllThreads();
  canClose = true;
}

void TfrmMain::closeAllThreads() {
  StopAll(*this);
  btnClear->setEnabled(true);
}

}  // namespace quillmarsh
