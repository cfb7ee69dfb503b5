// The list's row menu, double-click and Delete key.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>

#include "app/pasMain.h"
#include "pipeline/RowActions.h"
#include "ui/OpenFile.h"

namespace quillmarsh {

namespace {
QString toQ(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

void TfrmMain::buildRowMenu() {
  ppmRow = new QMenu(this);
  ppmRow->setObjectName(QStringLiteral("ppmRow"));
  OpenFile1 = ppmRow->addAction(QStringLiteral("Open file"), this, &TfrmMain::OpenFile1Click);
  OpenFolder1 = ppmRow->addAction(QStringLiteral("Open folder"), this, &TfrmMain::OpenFolder1Click);
  CopyAddress1 =
      ppmRow->addAction(QStringLiteral("Copy address"), this, &TfrmMain::CopyAddress1Click);
  ppmRow->addSeparator();
  Retry1 = ppmRow->addAction(QStringLiteral("Retry"), this, &TfrmMain::Retry1Click);
  Remove1 = ppmRow->addAction(QStringLiteral("Remove"), this, &TfrmMain::Remove1Click);

  lsvList->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lsvList, &QWidget::customContextMenuRequested, this, &TfrmMain::lsvListContextMenu);
  connect(lsvList, &QAbstractItemView::doubleClicked, this, &TfrmMain::lsvListDoubleClick);
  // Delete is read from the list's own key presses, so that it acts only
  // while the list has the focus.
  lsvList->installEventFilter(this);
  edtUrl->installEventFilter(this);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edtUrl && (event->type() == QEvent::DragEnter ||
                            event->type() == QEvent::DragMove || event->type() == QEvent::Drop))
    return urlBoxDragEvent(event);
  if (watched == lsvList && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Delete)) {
    Remove1Click();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TfrmMain::lsvListContextMenu(const QPoint& position) {
  const QModelIndex index = lsvList->indexAt(position);
  if (!index.isValid()) return;
  // A right-click outside the selection selects that row alone.
  if (!lsvList->selectionModel()->isRowSelected(index.row())) lsvList->selectRow(index.row());
  PrepareRowMenu(index.row());
  ppmRow->popup(lsvList->viewport()->mapToGlobal(position));
}

void TfrmMain::PrepareRowMenu(int row) {
  menuRow_ = row;
  const bool valid = missions_->isValidRow(row);
  const bool hasFile = valid && !FileToOpen(*missions_, row).empty();
  OpenFile1->setEnabled(hasFile);
  OpenFolder1->setEnabled(hasFile);
  CopyAddress1->setEnabled(valid);
  bool retry = false;
  for (int selected : SelectedRows())
    retry = retry || RetryApplies(missions_->status(selected), pipeline_.Busy);
  Retry1->setEnabled(retry);
  Remove1->setEnabled(RemoveAllowed());
}

void TfrmMain::OpenFile1Click() {
  OpenFile(toQ(FileToOpen(*missions_, menuRow_)));
}

void TfrmMain::OpenFolder1Click() {
  ShowInFolder(toQ(FileToOpen(*missions_, menuRow_)));
}

void TfrmMain::CopyAddress1Click() {
  if (missions_->isValidRow(menuRow_))
    QGuiApplication::clipboard()->setText(toQ(missions_->url(menuRow_)));
}

void TfrmMain::Retry1Click() {
  bool any = false;
  for (int row : SelectedRows()) any = RetryRow(*missions_, row, pipeline_.Busy) || any;
  if (!any) return;
  guarded([this] {
    StartDownload();
    StartConvert();
  });
}

void TfrmMain::Remove1Click() {
  if (RemoveAllowed()) suitempbtnRemoveClick();
}

bool TfrmMain::RemoveAllowed() const {
  return !pipeline_.Busy && lsvList->selectionModel()->hasSelection();
}

void TfrmMain::lsvListDoubleClick(const QModelIndex& index) {
  if (index.isValid()) OpenFile(toQ(FileToOpen(*missions_, index.row())));
}

}  // namespace quillmarsh
