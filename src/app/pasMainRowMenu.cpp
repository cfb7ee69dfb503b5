// The list's row menu, double-click and Delete key.
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>

#include "app/pasMain.h"
#include "pipeline/PauseResume.h"
#include "pipeline/RowActions.h"
#include "ui/OpenFile.h"

namespace quillmarsh {

namespace {
QString toQ(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

void TfrmMain::buildRowMenu() {
  rowMenu = new QMenu(this);
  rowMenu->setObjectName(QStringLiteral("rowMenu"));
  openFileAction = rowMenu->addAction(QStringLiteral("Open file"), this, &TfrmMain::OpenRowFile);
  openFolderAction =
      rowMenu->addAction(QStringLiteral("Open folder"), this, &TfrmMain::OpenRowFolder);
  copyAddressAction =
      rowMenu->addAction(QStringLiteral("Copy address"), this, &TfrmMain::CopyRowAddress);
  rowMenu->addSeparator();
  pauseAction = rowMenu->addAction(QStringLiteral("Pause"), this, &TfrmMain::PauseSelectedRows);
  resumeAction = rowMenu->addAction(QStringLiteral("Resume"), this, &TfrmMain::ResumeSelectedRows);
  retryAction = rowMenu->addAction(QStringLiteral("Retry"), this, &TfrmMain::RetrySelectedRows);
  removeAction = rowMenu->addAction(QStringLiteral("Remove"), this, &TfrmMain::RemoveSelectedRows);
  listMenu = new QMenu(this);
  listMenu->setObjectName(QStringLiteral("listMenu"));
  listMenu->addAction(QStringLiteral("Settings…"), QKeySequence(Qt::CTRL | Qt::Key_Comma), this,
                      &TfrmMain::OpenSettings);
  forgetHistoryAction = listMenu->addAction(QStringLiteral("Forget the download history"), this,
                                            &TfrmMain::ForgetDownloadHistory);

  lsvList->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lsvList, &QWidget::customContextMenuRequested, this, &TfrmMain::ShowRowMenu);
  connect(lsvList, &QAbstractItemView::doubleClicked, this, &TfrmMain::OpenDoubleClickedRow);
  // Delete is read from the list's own key presses, so that it acts only
  // while the list has the focus.
  lsvList->installEventFilter(this);
  edtUrl->installEventFilter(this);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edtUrl) return urlBoxEvent(event);
  if (watched == lsvList && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Delete)) {
      RemoveSelectedRows();
      return true;
    }
    if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
      PauseOrResumeSelectedRows();
      return true;
    }
    // The desktop's keyboard way to a context menu, besides the Menu key.
    if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) {
      ShowRowMenuFromKeyboard();
      return true;
    }
  }
  if (watched == lsvList && event->type() == QEvent::ContextMenu &&
      static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
    ShowRowMenuFromKeyboard();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TfrmMain::ShowRowMenu(const QPoint& position) {
  const QModelIndex index = lsvList->indexAt(position);
  if (!index.isValid()) {
    ShowListMenu(position);
    return;
  }
  // A right-click outside the selection selects that row alone.
  if (!lsvList->selectionModel()->isRowSelected(index.row())) lsvList->selectRow(index.row());
  PrepareRowMenu(index.row());
  rowMenu->popup(lsvList->viewport()->mapToGlobal(position));
}

void TfrmMain::ShowRowMenuFromKeyboard() {
  QModelIndex index = lsvList->currentIndex();
  if (!index.isValid() && !SelectedRows().empty())
    index = missions_->index(SelectedRows().front(), 0);
  if (!index.isValid()) return;
  lsvList->scrollTo(index);
  ShowRowMenu(lsvList->visualRect(index).center());
}

void TfrmMain::PrepareRowMenu(int row) {
  menuRow_ = row;
  const bool valid = missions_->isValidRow(row);
  const bool hasFile = valid && !FileToOpen(*missions_, row).empty();
  openFileAction->setEnabled(hasFile);
  openFolderAction->setEnabled(hasFile);
  copyAddressAction->setEnabled(valid);
  bool retry = false, pause = false, resume = false;
  for (int selected : SelectedRows()) {
    retry = retry || RetryApplies(*missions_, pipeline_, selected);
    pause = pause || PauseApplies(*missions_, selected);
    resume = resume || ResumeApplies(*missions_, pipeline_, selected);
  }
  pauseAction->setEnabled(pause);
  resumeAction->setEnabled(resume);
  retryAction->setEnabled(retry);
  removeAction->setEnabled(RemoveAllowed());
}

void TfrmMain::OpenRowFile() {
  OpenFile(toQ(FileToOpen(*missions_, menuRow_)));
}

void TfrmMain::OpenRowFolder() {
  ShowInFolder(toQ(FileToOpen(*missions_, menuRow_)));
}

void TfrmMain::CopyRowAddress() {
  if (missions_->isValidRow(menuRow_))
    QGuiApplication::clipboard()->setText(toQ(missions_->url(menuRow_)));
}

void TfrmMain::RetrySelectedRows() {
  bool any = false;
  for (int row : SelectedRows()) any = RetryRow(*missions_, pipeline_, row) || any;
  if (!any) return;
  StartWaitingWork();
}

void TfrmMain::PauseSelectedRows() {
  bool freed = false;
  for (int row : SelectedRows()) freed = PauseRow(*this, row) || freed;
  // What waits next takes the freed slots.
  if (freed) StartWaitingWork();
}

void TfrmMain::ResumeSelectedRows() {
  bool any = false;
  for (int row : SelectedRows()) any = ResumeRow(*missions_, pipeline_, row) || any;
  if (any) StartWaitingWork();
}

void TfrmMain::PauseOrResumeSelectedRows() {
  for (int row : SelectedRows()) {
    if (PauseApplies(*missions_, row)) {
      PauseSelectedRows();
      return;
    }
  }
  ResumeSelectedRows();
}

void TfrmMain::RemoveSelectedRows() {
  if (RemoveAllowed()) suitempbtnRemoveClick();
}

bool TfrmMain::RemoveAllowed() const {
  return !pipeline_.Busy && lsvList->selectionModel()->hasSelection();
}

void TfrmMain::OpenDoubleClickedRow(const QModelIndex& index) {
  if (index.isValid()) OpenFile(toQ(FileToOpen(*missions_, index.row())));
}

}  // namespace quillmarsh
