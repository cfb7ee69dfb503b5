// Adding several missions at once and pasting: the addresses in a pasted
// text, and text, links or text files dropped onto the window.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTableView>
#include <QUrl>

#include "app/pasGlobal.h"
#include "app/pasMain.h"
#include "missions/AddressesInText.h"
#include "missions/MissionStatus.h"
#include "missions/UrlBatch.h"
#include "missions/UrlImport.h"
#include "shared/Text.h"
#include "ui/MessageBox.h"

namespace quillmarsh {

namespace {
// The addresses a drop carries: each link, the addresses in each dropped
// text file, or else the addresses in the text.
std::vector<std::string> droppedUrls(const QMimeData& mime) {
  std::vector<std::string> urls;
  if (!mime.hasUrls()) return AddressesInText(mime.text().toStdString());
  for (const QUrl& link : mime.urls()) {
    if (!link.isLocalFile()) {
      const std::string url = Trim(link.toString().toStdString());
      if (!url.empty()) urls.push_back(url);
      continue;
    }
    std::string content;
    if (QFileInfo(link.toLocalFile())
                .suffix()
                .compare(QStringLiteral("txt"), Qt::CaseInsensitive) == 0 &&
        ReadUrlFile(link.toLocalFile().toStdString(), content)) {
      for (std::string& url : AddressesInText(content)) urls.push_back(std::move(url));
    }
  }
  return urls;
}
}  // namespace

void TfrmMain::AddUrlBatch(const std::vector<std::string>& urls) {
  const UrlBatch batch = addFreshUrls(urls);
  if (const std::string passed = PassedOverMessage(batch); !passed.empty())
    ShowMessageBox(QString::fromUtf8(kAppTitle), QString::fromStdString(passed),
                   MsgKind::Information, mbOK);
  StartWaitingWork();
}

HandOffReply TfrmMain::AddHandedUrls(const std::vector<std::string>& urls) {
  if (closing_) return {0, 0, "Quillmarsh is closing"};
  const UrlBatch batch = addFreshUrls(urls);
  StartWaitingWork();
  return {static_cast<int>(batch.fresh.size()), batch.refused, {}};
}

UrlBatch TfrmMain::addFreshUrls(const std::vector<std::string>& urls) {
  UrlBatch batch = SortOutNewUrls(
      *missions_, urls, [this](const std::string& url) { return DownloadedBefore(url); });
  const bool doConvert = chkConvert->isChecked();
  const std::string format = cmbFormat->currentText().toStdString();
  const std::string priority = cmbPriority->currentText().toStdString();
  int first = -1, last = -1;
  for (const std::string& url : batch.fresh) {
    last = addLsvItem(url, std::string(Status::WaitForDownload), 0, {}, {}, {}, doConvert, format,
                      priority);
    if (first < 0) first = last;
  }
  if (first >= 0) ShowNewRows(first, last);
  return batch;
}

void TfrmMain::PasteIntoUrlBox(const QString& text) {
  const std::vector<std::string> urls = AddressesInText(text.toStdString());
  if (urls.size() == 1)
    edtUrl->setText(QString::fromStdString(urls.front()));
  else if (urls.size() > 1)
    AddUrlBatch(urls);
}

void TfrmMain::ShowNewRows(int first, int last) {
  const QModelIndex from = missions_->index(first, 0);
  const QModelIndex to = missions_->index(last, ColumnCount - 1);
  lsvList->selectionModel()->select(
      QItemSelection(from, to), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  lsvList->selectionModel()->setCurrentIndex(missions_->index(last, 0),
                                             QItemSelectionModel::NoUpdate);
  lsvList->scrollTo(missions_->index(last, 0));
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() || event->mimeData()->hasText()) event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event) {
  const std::vector<std::string> urls = droppedUrls(*event->mimeData());
  event->acceptProposedAction();
  if (!urls.empty()) AddUrlBatch(urls);
}

bool TfrmMain::urlBoxEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
      if (!static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste)) return false;
      PasteIntoUrlBox(QGuiApplication::clipboard()->text());
      return true;
    case QEvent::MouseButtonRelease:
      if (static_cast<QMouseEvent*>(event)->button() != Qt::MiddleButton ||
          !QGuiApplication::clipboard()->supportsSelection())
        return false;
      PasteIntoUrlBox(QGuiApplication::clipboard()->text(QClipboard::Selection));
      return true;
    case QEvent::ContextMenu:
      showUrlBoxMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
      return true;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
      // Links and files are the window's (the box would take them as
      // "file:///..." text); plain text is pasted.
      auto* drag = static_cast<QDropEvent*>(event);
      if (event->type() != QEvent::Drop) {
        if (!drag->mimeData()->hasUrls()) return false;
        drag->acceptProposedAction();
      } else if (drag->mimeData()->hasUrls()) {
        dropEvent(drag);
      } else {
        drag->acceptProposedAction();
        PasteIntoUrlBox(drag->mimeData()->text());
      }
      return true;
    }
    default:
      return false;
  }
}

void TfrmMain::showUrlBoxMenu(const QPoint& position) {
  // The box's own menu, whose Paste pastes as the keys do.
  QMenu* menu = edtUrl->createStandardContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  for (QAction* action : menu->actions()) {
    if (!action->text().startsWith(QLineEdit::tr("&Paste"))) continue;
    disconnect(action, &QAction::triggered, nullptr, nullptr);
    connect(action, &QAction::triggered, this,
            [this] { PasteIntoUrlBox(QGuiApplication::clipboard()->text()); });
  }
  menu->popup(position);
}

}  // namespace quillmarsh
