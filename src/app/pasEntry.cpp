#include "app/pasEntry.h"

#include <QApplication>
#include <QMessageBox>

#include "app/pasAbout.h"
#include "app/pasDebug.h"
#include "app/pasGlobal.h"
#include "app/pasMain.h"
#include "platform/SingleInstance.h"
#include "ui/pasSuiAppend.h"

namespace {
EntryHooks& hooks() {
  static EntryHooks h;
  return h;
}
}  // namespace

void SetEntryHooks(EntryHooks h) {
  hooks() = std::move(h);
}

int RunQuillmarsh(int argc, char** argv) {
  SingleInstance guard("qlmsh");

  QApplication app(argc, argv);
  const QString title = QString::fromUtf8(kAppTitle);
  if (!guard.acquired()) {
    const QString text = QStringLiteral("Quillmarsh has already running!");
    if (const auto& answer = CurrentMessageBoxAnswerer())
      answer({title, text, MsgKind::Warning, mbOK});
    else
      QMessageBox::warning(nullptr, title, text);
    return 0;
  }
  QApplication::setApplicationName(title);
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/quillmarsh/quillmarsh.svg")));

  // The three windows live until the process ends.
  auto* main = new TfrmMain();
  frmAbout = new TfrmAbout();
  frmDebug = new TfrmDebug(main);

  main->InitMain();
  if (main->CloseConfirmed()) return 0;  // closed during start-up
  main->show();
  if (hooks().mainWindowShown) hooks().mainWindowShown(*main);
  const int status = QApplication::exec();
  (void)status;
  return 0;
}
