// Adding missions: the URL box, the clipboard and the import of a text file.
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>

#include "app/pasGlobal.h"
#include "app/pasMain.h"
#include "missions/AddressesInText.h"
#include "missions/MissionStatus.h"
#include "missions/UrlBatch.h"
#include "missions/UrlImport.h"
#include "shared/Text.h"
#include "ui/MessageBox.h"

namespace quillmarsh {

int TfrmMain::addLsvItem(const std::string& url, const std::string& status, std::int32_t progress,
                         const std::string& size, const std::string& videoName,
                         const std::string& fileName, bool doConvert, const std::string& format,
                         const std::string& priority) {
  return missions_->addLsvItem(url, status, progress, size, videoName, fileName, doConvert, format,
                               priority);
}

bool TfrmMain::UrlExists(const std::string& url) const {
  return missions_->urlExists(url);
}

void TfrmMain::btnGoClick() {
  // A box holding several lines (from the clipboard) is a batch.
  if (const std::string text = edtUrl->text().toStdString(); IsUrlBatch(text)) {
    AddUrlBatch(UrlsFromText(text));
    return;
  }
  const std::string url = Trim(edtUrl->text().toStdString());
  if (!url.empty()) {
    if (UrlExists(url)) {
      ShowMessageBox(QString::fromUtf8(kAppTitle),
                     QStringLiteral("This URL has already been added."), MsgKind::Information,
                     mbOK);
    } else if (ConfirmDownloadAgain(url)) {
      const int row = addLsvItem(url, std::string(Status::WaitForDownload), 0, {}, {}, {},
                                 chkConvert->isChecked(), cmbFormat->currentText().toStdString(),
                                 cmbPriority->currentText().toStdString());
      ShowNewRows(row, row);
    }
  }
  StartWaitingWork();
}

void TfrmMain::btnPasteClick() {
  PasteIntoUrlBox(QGuiApplication::clipboard()->text());
}

void TfrmMain::ApplicationEvents1Activate() {
  // Coming back to the window only fills the box, and only with one
  // address: several wait for an explicit paste.
  const std::vector<std::string> urls =
      AddressesInText(QGuiApplication::clipboard()->text().toStdString());
  if (urls.size() == 1) edtUrl->setText(QString::fromStdString(urls.front()));
}

void TfrmMain::suitempbtnLoadClick() {
  const QString file =
      QFileDialog::getOpenFileName(this, {}, {}, QStringLiteral("Text files (*.txt)"));
  if (file.isEmpty()) return;
  ImportUrlFile(file);
}

void TfrmMain::ImportUrlFile(const QString& fileName) {
  std::string content;
  if (!ReadUrlFile(fileName.toStdString(), content)) return;
  const bool doConvert = chkConvert->isChecked();
  const std::string format = cmbFormat->currentText().toStdString();
  const std::string priority = cmbPriority->currentText().toStdString();
  int first = -1, last = -1;
  for (const std::string& url : UrlsFromText(content)) {
    last = addLsvItem(url, std::string(Status::WaitForDownload), 0, {}, {}, {}, doConvert, format,
                      priority);
    if (first < 0) first = last;
  }
  if (first >= 0) ShowNewRows(first, last);
}

}  // namespace quillmarsh
