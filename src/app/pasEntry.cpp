#include "app/pasEntry.h"

#include <QApplication>
#include <memory>

#include "app/pasAbout.h"
#include "app/pasDebug.h"
#include "app/pasGlobal.h"
#include "app/pasMain.h"
#include "platform/ShutdownSignals.h"
#include "platform/SingleInstance.h"
#include "platform/WorkerThread.h"
#include "ui/AppIcon.h"
#include "ui/MessageBox.h"

namespace quillmarsh {

namespace {
EntryHooks& hooks() {
  static EntryHooks h;
  return h;
}
}  // namespace

void SetEntryHooks(EntryHooks h) {
  hooks() = std::move(h);
}

void ShutDownWorkers(TfrmMain& main) {
  // Every child ends (a no-op after a confirmed close), no worker waits for
  // the user-interface thread any more, and the workers' own threads end
  // before the windows they report to are freed.
  if (!main.CloseConfirmed()) main.closeAllThreads();
  WorkerThread::CancelAllHandOvers();
  WorkerThread::WaitForAllWorkers(std::chrono::seconds(10));
  // Runs the termination handlers that free the workers.
  QCoreApplication::sendPostedEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

int RunQuillmarsh(int argc, char** argv) {
  SingleInstance guard("qlmsh");

  QApplication app(argc, argv);
  const QString title = QString::fromUtf8(kAppTitle);
  if (!guard.acquired()) {
    const QString text = QStringLiteral("Quillmarsh has already running!");
    ShowPlainMessageBox(title, text, MsgKind::Warning);
    return 0;
  }
  QApplication::setApplicationName(title);
  QApplication::setWindowIcon(AppIcon());

  // The three windows live until the process ends.
  auto main = std::make_unique<TfrmMain>();
  auto about = std::make_unique<TfrmAbout>();
  frmAbout = about.get();
  auto debug = std::make_unique<TfrmDebug>(main.get());
  frmDebug = debug.get();

  // Log-out and shutdown close the program as a confirmed close would.
  ShutdownSignals logOut([&main] { main->CloseForSignal(); });

  main->InitMain();
  if (!main->CloseConfirmed()) {
    main->show();
    if (hooks().mainWindowShown) hooks().mainWindowShown(*main);
    QApplication::exec();
  }
  ShutDownWorkers(*main);
  frmDebug = nullptr;
  frmAbout = nullptr;
  return 0;
}

}  // namespace quillmarsh
