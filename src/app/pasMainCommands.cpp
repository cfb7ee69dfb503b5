// The user's upkeep of the list: output folder, reset, remove, clear, stop.
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>

#include "app/pasGlobal.h"
#include "app/pasMain.h"
#include "missions/MissionStatus.h"
#include "ui/LinkLabel.h"
#include "ui/MessageBox.h"

namespace quillmarsh {

std::vector<int> TfrmMain::SelectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : lsvList->selectionModel()->selectedRows())
    rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

void TfrmMain::suitempbtnOutputClick() {
  // Opens where the downloads go now; the prompt is the dialog's title.
  const QString folder = QFileDialog::getExistingDirectory(
      this, QStringLiteral("Select a directory"), lblOutDir->text(),
      QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
  if (folder.isEmpty()) return;
  lblOutDir->setText(folder);
  lblOutDir->setLink(folder);
}

void TfrmMain::btnResetClick() {
  const std::vector<int> rows = SelectedRows();
  if (rows.empty()) return;
  const int row = rows.front();
  const std::string& status = missions_->status(row);
  if (status == Status::ErrorInDownload)
    missions_->setStatus(row, std::string(Status::WaitForDownload));
  else if (status == Status::ErrorInConvert)
    missions_->setStatus(row, std::string(Status::WaitForConvert));
}

void TfrmMain::suitempbtnRemoveClick() {
  missions_->removeRowsAt(SelectedRows());
}

void TfrmMain::suitempbtnClearClick() {
  if (ShowMessageBox(QString::fromUtf8(kAppTitle), QStringLiteral("Are you to to clear the list?"),
                     MsgKind::Warning, mbYes | mbNo) != mrYes)
    return;
  missions_->clear();
  guarded([this] { ClearIni(); });
}

void TfrmMain::suitempbtnStopClick() {
  closeAllThreads();
}

void TfrmMain::lsvListClick() {
  if (pipeline_.Busy || !lsvList->selectionModel()->hasSelection()) return;
  btnRemove->setEnabled(true);
  btnReset->setEnabled(true);
}

}  // namespace quillmarsh
