// The download history: remembering what was downloaded, asking before an
// address is downloaded again, and forgetting.
#include <QAction>
#include <QMenu>
#include <QTableView>

#include "app/pasDebug.h"
#include "app/pasGlobal.h"
#include "app/pasMain.h"
#include "missions/DownloadHistory.h"
#include "missions/MissionStatus.h"
#include "platform/UserFolders.h"
#include "ui/MessageBox.h"

namespace quillmarsh {

namespace {
QString toQ(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The history is a convenience: a refused write is reported, not shown.
void SaveHistory(DownloadHistory& history) {
  if (!history.Save())
    AppendToReport("Unable to write to " + Paths.dataDir + std::string(DownloadHistory::kFileName));
}
}  // namespace

void TfrmMain::RememberDownload(int row) {
  if (!missions_->isValidRow(row)) return;
  const std::string& status = missions_->status(row);
  if (status != Status::Downloaded && status != Status::SkipFileExists) return;
  history_->Remember(missions_->url(row), missions_->record(row).fileName,
                     DownloadHistory::Today());
  SaveHistory(*history_);
}

bool TfrmMain::DownloadedBefore(const std::string& url) const {
  const HistoryEntry* entry = history_->Find(url);
  return entry && !entry->file.empty() && FileExists(entry->file);
}

bool TfrmMain::ConfirmDownloadAgain(const std::string& url) {
  if (!DownloadedBefore(url)) return true;
  const HistoryEntry& entry = *history_->Find(url);
  return ShowMessageBox(QString::fromUtf8(kAppTitle),
                        QStringLiteral("This video was downloaded on ") + toQ(entry.date) +
                            QStringLiteral(" to ") + toQ(entry.file) +
                            QStringLiteral(". Download it again?"),
                        MsgKind::Confirmation, mbYes | mbNo, mbNo) == mrYes;
}

void TfrmMain::ForgetDownloadHistory() {
  if (ShowMessageBox(QString::fromUtf8(kAppTitle),
                     QStringLiteral("Forget which videos were downloaded before? Quillmarsh will "
                                    "no longer ask before downloading them again."),
                     MsgKind::Confirmation, mbYes | mbNo, mbNo) != mrYes)
    return;
  history_->Forget();
  SaveHistory(*history_);
}

void TfrmMain::ShowListMenu(const QPoint& position) {
  forgetHistoryAction->setEnabled(history_->size() > 0);
  listMenu->popup(lsvList->viewport()->mapToGlobal(position));
}

}  // namespace quillmarsh
