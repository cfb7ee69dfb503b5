#include "app/pasEntry.h"

#include <QApplication>
#include <cstdio>
#include <memory>

#include "app/pasAbout.h"
#include "app/pasDebug.h"
#include "app/pasGlobal.h"
#include "app/pasMain.h"
#include "missions/AddressArguments.h"
#include "missions/HandOffClient.h"
#include "missions/HandOffServer.h"
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

namespace {
void TellRefused(const AddressArguments& given) {
  for (const std::string& argument : given.refused)
    std::fprintf(stderr, "quillmarsh: not a web address: %s\n", argument.c_str());
}

// `quillmarsh URL...` while an instance runs: the addresses go to it and
// this process ends at once, without a window or a box (it may have no
// display at all). 0 when all were handed over, 2 when an argument was
// refused, 1 when the running instance did not take them.
int HandOverToRunningInstance(const AddressArguments& given) {
  TellRefused(given);
  if (given.urls.empty()) return 2;
  const HandOffReply reply = HandOffAddresses(SingleInstance::SocketPath(kInstanceName), given.urls,
                                              std::chrono::seconds(5));
  if (!reply.error.empty()) {
    std::fprintf(stderr, "quillmarsh: the running Quillmarsh did not take the addresses: %s\n",
                 reply.error.c_str());
    return 1;
  }
  if (reply.refused > 0)
    std::fprintf(stderr, "quillmarsh: already in the list: %d of %zu\n", reply.refused,
                 given.urls.size());
  return given.refused.empty() ? 0 : 2;
}

// Addresses handed over while the window is being set up (a box of the
// start-up may wait for the user) are taken at once and added when it is.
struct EarlyAddresses {
  static constexpr std::size_t kMost = 5000;
  bool windowReady = false;
  std::vector<std::string> urls;
};

// Other processes hand addresses to this instance; without the socket it
// runs on as before. It listens before the window is set up, so that a
// second start does not wait for the first one's start-up boxes.
std::unique_ptr<HandOffServer> ListenForAddresses(TfrmMain& main, EarlyAddresses& early,
                                                  std::string& error) {
  auto server =
      std::make_unique<HandOffServer>([&main, &early](const std::vector<std::string>& urls) {
        if (early.windowReady) return main.AddHandedUrls(urls);
        HandOffReply reply;
        if (early.urls.size() + urls.size() > EarlyAddresses::kMost) {
          reply.error = "Quillmarsh is starting; try again in a moment";
          return reply;
        }
        early.urls.insert(early.urls.end(), urls.begin(), urls.end());
        reply.added = static_cast<int>(urls.size());
        return reply;
      });
  server->Listen(SingleInstance::SocketPath(kInstanceName), error);
  return server;
}
}  // namespace

int RunQuillmarsh(int argc, char** argv) {
  SingleInstance guard(kInstanceName);
  if (!guard.acquired()) {
    if (const AddressArguments given = AddressesInArguments(argc, argv); given.any())
      return HandOverToRunningInstance(given);
  }

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

  EarlyAddresses early;
  std::string listenError;
  const std::unique_ptr<HandOffServer> handOff = ListenForAddresses(*main, early, listenError);
  main->InitMain();
  if (!listenError.empty())
    main->WriteReport("Addresses from other programs cannot be taken: " + listenError);
  // Addresses among what the toolkit left of the arguments, then those
  // handed over meanwhile.
  AddressArguments given = AddressesInArguments(argc, argv);
  TellRefused(given);
  given.urls.insert(given.urls.end(), early.urls.begin(), early.urls.end());
  early.urls.clear();
  early.windowReady = true;
  if (!given.urls.empty()) main->AddHandedUrls(given.urls);
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
