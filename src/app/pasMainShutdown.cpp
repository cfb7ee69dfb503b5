// Closing the window and stopping every worker.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QPushButton>
#include <cstdio>

#include "app/pasDebug.h"
#include "app/pasGlobal.h"
#include "app/pasMain.h"
#include "pipeline/StopAll.h"
#include "shared/IniFile.h"
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
  // A signal may have closed the program while the question was open.
  if (closing_) return;
  canClose = SaveAndStop(true);
}

void TfrmMain::CloseForSignal() {
  if (closing_) return;
  SaveAndStop(false);
  // Every event loop ends, a message box's included.
  QCoreApplication::exit(0);
}

bool TfrmMain::SaveAndStop(bool mayStayOpen) {
  AppendToReport("Closing...");
  try {
    SaveSettings();
  } catch (const IniWriteError& e) {
    if (!mayStayOpen) {
      AppendToReport(e.what());
      std::fprintf(stderr, "%s\n", e.what());
    } else {
      // Closing now loses what changed since the last save; staying open
      // lets the user make room or copy the list. Staying is the default.
      const QString question =
          QString::fromUtf8(e.what()) + QStringLiteral("\n\nClose without saving the list?");
      if (ShowMessageBox(QString::fromUtf8(kAppTitle), question, MsgKind::Warning, mbYes | mbNo,
                         mbNo) != mrYes)
        return false;
    }
  }
  closing_ = true;
  ini_.reset();
  closeAllThreads();
  return true;
}

void TfrmMain::closeAllThreads() {
  StopAll(*this);
  btnClear->setEnabled(true);
}

}  // namespace quillmarsh
