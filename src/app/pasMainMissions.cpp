// Adding missions: the URL box, the clipboard and the import of a text file.
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>

#include "app/pasGlobal.h"
#include "app/pasMain.h"
#include "base/Text.h"
#include "missions/MissionStatus.h"
#include "missions/UrlImport.h"
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
  const std::string url = Trim(edtUrl->text().toStdString());
  if (!url.empty()) {
    if (UrlExists(url)) {
      ShowMessageBox(QString::fromUtf8(kAppTitle),
                     QStringLiteral("This URL has already been added."), MsgKind::Information,
                     mbOK);
    } else {
      addLsvItem(url, std::string(Status::WaitForDownload), 0, {}, {}, {}, chkConvert->isChecked(),
                 cmbFormat->currentText().toStdString(), cmbPriority->currentText().toStdString());
    }
  }
  guarded([this] {
    StartDownload();
    StartConvert();
  });
}

void TfrmMain::btnPasteClick() {
  const QString text = QGuiApplication::clipboard()->text();
  if (text.contains(QString::fromUtf8(SiteDomain))) edtUrl->setText(text);
}

void TfrmMain::ApplicationEvents1Activate() {
  btnPasteClick();
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
  for (const std::string& url : UrlsFromText(content))
    addLsvItem(url, std::string(Status::WaitForDownload), 0, {}, {}, {}, doConvert, format,
               priority);
}

}  // namespace quillmarsh
