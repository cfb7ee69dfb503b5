// Closing the window and stopping every worker.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QPushButton>

#include "app/pasDebug.h"
#include "app/pasGlobal.h"
#include "app/pasMain.h"
#include "app/pasUtils.h"
#include "convert/TConvertThread.h"
#include "download/TDownloadThread.h"
#include "missions/MissionStatus.h"
#include "platform/IniFile.h"
#include "ui/pasSuiAppend.h"

namespace {
// Finished work keeps its status when its download worker is stopped.
bool keepsStatusOnStop(const std::string& status) {
  return status == Status::SkipFileExists || status == Status::Downloaded ||
         status == Status::Converted;
}

// Takes every worker off `list`, last first: ends its child, drops its
// later hand-overs, empties Speed and ETA and lets `rewrite` set the status.
template <typename Worker, typename Rewrite>
void stopAll(std::vector<Worker*>& list, MissionModel& missions, Rewrite rewrite) {
  while (!list.empty()) {
    Worker* worker = list.back();
    list.pop_back();
    if (!worker) continue;
    const int row = worker->MissionIndex;
    worker->Detach();
    if (!missions.isValidRow(row)) continue;
    missions.setSubItem(row, SubSpeed, {});
    missions.setSubItem(row, SubEta, {});
    rewrite(row);
  }
}
}  // namespace

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
  ::WriteReport("Closing...");
  try {
    SaveSettings();
  } catch (const IniWriteError& e) {
    // The list could not be kept: stay open rather than lose it.
    ShowMessageBox(QString::fromUtf8(kAppTitle), QString::fromUtf8(e.what()), MsgKind::Error, mbOK);
    canClose = false;
    return;
  }
  closing_ = true;
  ini_.reset();
  closeAllThreads();
  canClose = true;
}

void TfrmMain::closeAllThreads() {
  ::WriteReport("Close all threads: begin");
  pipeline_.Stopping = true;
  MissionModel& missions = *missions_;
  stopAll(pipeline_.DownloadThreads, missions, [&missions](int row) {
    if (!keepsStatusOnStop(missions.status(row)))
      missions.setStatus(row, std::string(Status::WaitForDownload));
  });
  stopAll(pipeline_.ConvertThreads, missions, [&missions](int row) {
    if (Contains(missions.status(row), Status::Converting))
      missions.setStatus(row, std::string(Status::WaitForConvert));
  });
  pipeline_.RunningDownloads = 0;
  pipeline_.RunningConverts = 0;
  pipeline_.Busy = false;
  btnClear->setEnabled(true);
  ::WriteReport("Close all threads: end");
}
