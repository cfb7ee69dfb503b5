#include "app/SettingsWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "app/pasDebug.h"
#include "app/pasGlobal.h"
#include "missions/SignInSettings.h"
#include "shared/BrowserProfiles.h"
#include "shared/ByteRate.h"
#include "shared/IniFile.h"
#include "shared/ProgramVocabulary.h"
#include "ui/AppIcon.h"
#include "ui/MessageBox.h"
#include "ui/SkinnedFrame.h"
#include "ui/UiFont.h"

namespace quillmarsh {
namespace {

constexpr int kMinAtOnce = 1;
constexpr int kMaxAtOnce = 16;

QString toQ(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QSpinBox* atOnceField(QWidget* parent, int value) {
  auto* spin = new QSpinBox(parent);
  spin->setRange(kMinAtOnce, kMaxAtOnce);
  spin->setValue(std::clamp(value, kMinAtOnce, kMaxAtOnce));
  return spin;
}

// "example.com: yes, from Firefox" or "example.com: no".
QString answerText(const std::string& site, const std::string& answer) {
  if (answer == kAnsweredNo) return toQ(site) + QStringLiteral(": no");
  const Browser* browser = FindBrowser(answer);
  return toQ(site) + QStringLiteral(": yes, from ") + toQ(browser ? browser->display : answer);
}

}  // namespace

TfrmSettings::TfrmSettings(IniFile& ini, QWidget* parent, std::function<void()> forgetHistory)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog),
      ini_(ini),
      forgetHistory_(std::move(forgetHistory)) {
  setObjectName(QStringLiteral("frmSettings"));
  setWindowTitle(QStringLiteral("Settings"));
  setWindowIcon(AppIcon());
  setFont(UiFont(11));
  setModal(true);
  buildControls();
  load();
}

void TfrmSettings::buildControls() {
  sufSettings = new SkinnedFrame(this, SkinnedFrame::Close);
  sufSettings->setCaption(QStringLiteral("Settings"));
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(sufSettings);
  auto* form = new QFormLayout;
  auto* body = new QVBoxLayout(sufSettings);
  body->setContentsMargins(16, SkinnedFrame::kTitleBarHeight + 12, 16, 16);
  body->addLayout(form);

  cmbSignIn = new QComboBox(sufSettings);
  cmbSignIn->addItem(QStringLiteral("Ask each site"), QStringLiteral("ask"));
  for (const Browser* browser : BrowsersWithProfile())
    cmbSignIn->addItem(toQ(browser->display), toQ(browser->name));
  cmbSignIn->addItem(QStringLiteral("None"), QStringLiteral("none"));
  cmbSignIn->addItem(QStringLiteral("A cookie file…"), QStringLiteral("file"));
  form->addRow(QStringLiteral("Sign in to sites with:"), cmbSignIn);

  edtCookieFile = new QLineEdit(sufSettings);
  btnCookieFile = new QPushButton(QStringLiteral("Choose…"), sufSettings);
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(edtCookieFile);
  fileRow->addWidget(btnCookieFile);
  form->addRow(QStringLiteral("Cookie file:"), fileRow);
  const auto fileApplies = [this] {
    const bool file = cmbSignIn->currentData().toString() == QStringLiteral("file");
    edtCookieFile->setEnabled(file);
    btnCookieFile->setEnabled(file);
  };
  connect(cmbSignIn, &QComboBox::currentIndexChanged, this, fileApplies);
  connect(btnCookieFile, &QPushButton::clicked, this, [this] {
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Cookie file"));
    if (!file.isEmpty()) edtCookieFile->setText(file);
  });

  lstSites = new QListWidget(sufSettings);
  lstSites->setMinimumHeight(90);
  btnForget = new QPushButton(QStringLiteral("Forget"), sufSettings);
  connect(btnForget, &QPushButton::clicked, this, &TfrmSettings::btnForgetClick);
  auto* sitesRow = new QHBoxLayout;
  sitesRow->addWidget(lstSites);
  sitesRow->addWidget(btnForget, 0, Qt::AlignTop);
  form->addRow(QStringLiteral("Answers per site:"), sitesRow);

  edtSpeedLimit = new QLineEdit(sufSettings);
  edtSpeedLimit->setPlaceholderText(QStringLiteral("none (for example 2M or 500K a second)"));
  form->addRow(QStringLiteral("Speed limit:"), edtSpeedLimit);
  chkUpdateExtractor =
      new QCheckBox(QStringLiteral("Keep the site extractor current"), sufSettings);
  form->addRow(QString(), chkUpdateExtractor);
  speDownloads = atOnceField(sufSettings, 1);
  speConversions = atOnceField(sufSettings, 1);
  form->addRow(QStringLiteral("Downloads at once:"), speDownloads);
  form->addRow(QStringLiteral("Conversions at once:"), speConversions);
  btnForgetHistory = new QPushButton(QStringLiteral("Forget the download history"), sufSettings);
  btnForgetHistory->setEnabled(static_cast<bool>(forgetHistory_));
  connect(btnForgetHistory, &QPushButton::clicked, this, [this] { forgetHistory_(); });
  form->addRow(QString(), btnForgetHistory);

  btnOK = new QPushButton(QStringLiteral("OK"), sufSettings);
  btnCancel = new QPushButton(QStringLiteral("Cancel"), sufSettings);
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &TfrmSettings::btnOKClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  body->addLayout(buttons);
  fileApplies();
}

void TfrmSettings::load() {
  const SignInChoice choice = ReadSignInChoice(ini_);
  using Mode = SignInChoice::Mode;
  const QString from = choice.mode == Mode::None         ? QStringLiteral("none")
                       : choice.mode == Mode::CookieFile ? QStringLiteral("file")
                       : choice.mode == Mode::Browser    ? toQ(choice.browser)
                                                         : QStringLiteral("ask");
  // A browser chosen once and gone since is still shown, so it is kept.
  if (cmbSignIn->findData(from) < 0) cmbSignIn->insertItem(1, from, from);
  cmbSignIn->setCurrentIndex(cmbSignIn->findData(from));
  edtCookieFile->setText(toQ(choice.cookieFile));
  for (const auto& [site, answer] : ReadSiteAnswers(ini_)) {
    auto* item = new QListWidgetItem(answerText(site, answer), lstSites);
    item->setData(Qt::UserRole, toQ(site));
    item->setData(Qt::UserRole + 1, toQ(answer));
  }
  edtSpeedLimit->setText(toQ(ini_.ReadString(IniKeys::Config, IniKeys::SpeedLimit, "")));
  chkUpdateExtractor->setChecked(
      ini_.ReadBool(IniKeys::Config, IniKeys::UpdateSiteExtractor, true));
  if (frmDebug) {
    speDownloads->setValue(frmDebug->speDownCounter->value());
    speConversions->setValue(frmDebug->speConvertCounter->value());
  }
}

void TfrmSettings::btnForgetClick() {
  qDeleteAll(lstSites->selectedItems());
}

bool TfrmSettings::Save() {
  const QString rate = edtSpeedLimit->text().trimmed();
  if (!rate.isEmpty() && !ParseByteRate(rate.toStdString())) {
    ShowMessageBox(QString::fromUtf8(kAppTitle),
                   QStringLiteral("The speed limit is bytes a second, such as 2M or 500K."),
                   MsgKind::Error, mbOK);
    return false;
  }
  SignInChoice choice;
  const QString from = cmbSignIn->currentData().toString();
  using Mode = SignInChoice::Mode;
  choice.mode = from == QStringLiteral("ask")    ? Mode::AskEachSite
                : from == QStringLiteral("none") ? Mode::None
                : from == QStringLiteral("file") ? Mode::CookieFile
                                                 : Mode::Browser;
  choice.browser = choice.mode == Mode::Browser ? from.toStdString() : std::string();
  choice.cookieFile = edtCookieFile->text().trimmed().toStdString();
  SiteAnswers answers;
  for (int i = 0; i < lstSites->count(); ++i) {
    const QListWidgetItem* item = lstSites->item(i);
    answers.emplace_back(item->data(Qt::UserRole).toString().toStdString(),
                         item->data(Qt::UserRole + 1).toString().toStdString());
  }
  try {
    IniFile::Batch batch(ini_);
    WriteSignInChoice(ini_, choice);
    WriteSiteAnswers(ini_, answers);
    ini_.WriteString(IniKeys::Config, IniKeys::SpeedLimit, rate.toStdString());
    ini_.WriteBool(IniKeys::Config, IniKeys::UpdateSiteExtractor, chkUpdateExtractor->isChecked());
    ini_.WriteInteger(IniKeys::Config, IniKeys::DownloadsAtOnce, speDownloads->value());
    ini_.WriteInteger(IniKeys::Config, IniKeys::ConversionsAtOnce, speConversions->value());
    batch.commit();
  } catch (const IniWriteError& e) {
    ShowMessageBox(QString::fromUtf8(kAppTitle), QString::fromUtf8(e.what()), MsgKind::Error, mbOK);
    return false;
  }
  if (frmDebug) {
    frmDebug->speDownCounter->setValue(speDownloads->value());
    frmDebug->speConvertCounter->setValue(speConversions->value());
  }
  return true;
}

void TfrmSettings::btnOKClick() {
  if (Save()) accept();
}

void LoadSavedLimits(const IniFile& ini) {
  if (!frmDebug) return;
  const auto load = [&ini](std::string_view key, QSpinBox* field) {
    const int saved = ini.ReadInteger(IniKeys::Config, key, 0);
    if (saved != 0) field->setValue(std::clamp(saved, kMinAtOnce, kMaxAtOnce));
  };
  load(IniKeys::DownloadsAtOnce, frmDebug->speDownCounter);
  load(IniKeys::ConversionsAtOnce, frmDebug->speConvertCounter);
}

void ShowSettings(IniFile& ini, QWidget* parent, std::function<void()> forgetHistory) {
  TfrmSettings window(ini, parent, std::move(forgetHistory));
  window.adjustSize();
  if (parent) window.move(parent->geometry().center() - window.rect().center());
  window.exec();
}

}  // namespace quillmarsh
