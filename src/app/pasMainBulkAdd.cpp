// Adding several missions at once: text of several lines put into the URL
// box, and text, links or text files dropped onto the window.
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMimeData>
#include <QTableView>
#include <QUrl>

#include "app/pasGlobal.h"
#include "app/pasMain.h"
#include "base/Text.h"
#include "missions/MissionStatus.h"
#include "missions/UrlBatch.h"
#include "missions/UrlImport.h"
#include "ui/MessageBox.h"

namespace quillmarsh {

namespace {
// What an edit put into the box: the text between the parts that the old
// and the new text share at their start and their end.
QString insertedText(const QString& before, const QString& after) {
  qsizetype start = 0;
  while (start < before.size() && start < after.size() && before[start] == after[start]) ++start;
  qsizetype end = 0;
  while (end < before.size() - start && end < after.size() - start &&
         before[before.size() - 1 - end] == after[after.size() - 1 - end])
    ++end;
  return after.mid(start, after.size() - start - end);
}

// The addresses a drop carries: each link, the lines of each dropped text
// file, or else the lines of the text.
std::vector<std::string> droppedUrls(const QMimeData& mime) {
  std::vector<std::string> urls;
  if (!mime.hasUrls()) return UrlsFromText(mime.text().toStdString());
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
      for (std::string& url : UrlsFromText(content)) urls.push_back(std::move(url));
    }
  }
  return urls;
}
}  // namespace

void TfrmMain::AddUrlBatch(const std::vector<std::string>& urls) {
  const UrlBatch batch = SortOutNewUrls(*missions_, urls);
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
  if (batch.refused > 0)
    ShowMessageBox(QString::fromUtf8(kAppTitle), QStringLiteral("This URL has already been added."),
                   MsgKind::Information, mbOK);
  guarded([this] {
    StartDownload();
    StartConvert();
  });
}

void TfrmMain::UrlBoxEdited(const QString& text) {
  // The box's textChanged may come before or after this signal.
  const QString before = text == urlBoxNow_ ? urlBoxBefore_ : urlBoxNow_;
  const QString inserted = insertedText(before, text);
  if (!IsUrlBatch(inserted.toStdString())) return;
  edtUrl->setText(before);
  AddUrlBatch(UrlsFromText(inserted.toStdString()));
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

bool TfrmMain::urlBoxDragEvent(QEvent* event) {
  // The box would take links and files as text ("file:///..."): they are
  // the window's. Plain text still goes into the box.
  auto* drag = static_cast<QDropEvent*>(event);
  if (!drag->mimeData()->hasUrls()) return false;
  if (event->type() == QEvent::Drop)
    dropEvent(drag);
  else
    drag->acceptProposedAction();
  return true;
}

}  // namespace quillmarsh
