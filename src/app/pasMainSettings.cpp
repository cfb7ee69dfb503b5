// Start-up: the working environment, the settings file and the format lists.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/SettingsWindow.h"
#include "app/pasDebug.h"
#include "app/pasGlobal.h"
#include "app/pasMain.h"

#include "convert/ConvertOptions.h"
#include "download/SiteExtractorReport.h"
#include "missions/DownloadHistory.h"
#include "missions/MissionFile.h"
#include "pipeline/RowActions.h"
#include "platform/OwnTemporaryFiles.h"
#include "platform/UserFolders.h"
#include "shared/IniFile.h"
#include "shared/ProgramVocabulary.h"
#include "ui/LinkLabel.h"
#include "ui/MessageBox.h"
#include "ui/Skin.h"
#include "ui/SkinnedFrame.h"

namespace quillmarsh {

namespace {
QString appTitle() {
  return QString::fromUtf8(kAppTitle);
}

void errorBox(const std::string& message) {
  ShowMessageBox(appTitle(), QString::fromStdString(message), MsgKind::Error, mbOK);
}
}  // namespace

void TfrmMain::InitMain() {
  InitSettings();
  if (DebugMode) {
    if (frmDebug) frmDebug->show();
    btnLoad->setVisible(true);
  }
  // Interrupted conversions resume as downloads do. Nothing starts after a
  // close confirmed during start-up.
  StartWaitingWork();
}

void TfrmMain::InitSettings() {
  pipeline_.Stopping = false;
  edtUrl->clear();
  QApplication::setApplicationName(appTitle());
  setWindowTitle(appTitle());
  sufMain->setCaption(appTitle());

  Paths.iniFileName = kSettingsFileName;
  Paths.appDir = ProgramFolder();
  Paths.downloaderPath = Paths.appDir + "tarnfetch";
  Paths.portableMode = false;

  const std::string besideProgram = Paths.appDir + Paths.iniFileName;
  if (FileExists(besideProgram)) {
    ini_ = std::make_unique<IniFile>(besideProgram);
    if (ini_->ReadBool(IniKeys::Config, IniKeys::PortableMode, false)) {
      Paths.portableMode = true;
      Paths.iniPath = besideProgram;
      Paths.dataDir = Paths.appDir;
    }
  }

  if (!Paths.portableMode) {
    Paths.dataDir = AppendSlash(AppendSlash(ApplicationDataFolder()) + "Quillmarsh");
    if (CreateFolder(Paths.dataDir) != 0) {
      errorBox("Can not create Application Data Folder");
      close();
    }
    Paths.iniPath = Paths.dataDir + Paths.iniFileName;
    // A close confirmed just now has released the settings: none is made again.
    if (!closing_) ini_ = std::make_unique<IniFile>(Paths.iniPath);
  }
  IniFile::RemoveStaleTemporaries(Paths.iniPath);

  // A close confirmed above has already released the settings file.
  const std::string defaultSkin = Paths.appDir + "default.skn";
  Paths.skinFile =
      ini_ ? ini_->ReadString(IniKeys::Config, IniKeys::Skin, defaultSkin) : defaultSkin;
  if (!FileExists(Paths.skinFile)) {
    // The skin is missing, so this box is the toolkit's plain one.
    ShowPlainMessageBox(appTitle(), QStringLiteral("Can not find Skin File"), MsgKind::Error);
    close();
  }
  SetCurrentSkinFile(Paths.skinFile);
  qApp->setStyleSheet(LoadSkin(Paths.skinFile));

  Paths.reportFile = Paths.dataDir + "qlmsh" + ".report";
  Paths.logFile = Paths.dataDir + "qlmsh" + ".log";

  if (Paths.portableMode) AppendToReport("[Portable Mode]");
  AppendToReport("[INI Path]: " + Paths.iniPath);
  AppendToReport("[AppData Dir]: " + Paths.dataDir);

  Paths.defaultOutputDir = AppendSlash(DocumentsFolder()) + "Video Download/";
  AppendToReport("[Output]: " + Paths.defaultOutputDir);
  AppendToReport("====================");
  if (DebugMode) {
    for (const std::string& line : SiteExtractorReport(Paths.dataDir)) AppendToReport(line);
  }

  // What a crash or a kill left of the conversions goes before any starts.
  pipeline_.TemporaryJournal = Paths.dataDir + "qlmsh.conversions";
  RemoveStaleOwnTemporaries(pipeline_.TemporaryJournal);
  LoadSettings();
  ConvertAgainWhereFileIsMissing(*missions_);
  *history_ = DownloadHistory(Paths.dataDir + std::string(DownloadHistory::kFileName));
  history_->Load();
  if (ini_) LoadSavedLimits(*ini_);

  Paths.outputDir = AppendSlash(lblOutDir->text().toStdString());
  if (const int err = CreateFolder(Paths.outputDir); err != 0) {
    const std::string message = "Create Output Directory failed with error: " + std::to_string(err);
    errorBox(message);
    AppendToReport(message);
  }

  if (!FileExists(Paths.downloaderPath)) {
    const std::string message = "Part of this software is missing. Please reinstall!";
    AppendToReport(message);
    errorBox(message);
    return;
  }

  LoadConvertOptions();
  pipeline_.DownloadThreads.clear();
  pipeline_.ConvertThreads.clear();
  pipeline_.WorkerListsCreated = true;
}

void TfrmMain::LoadConvertOptions() {
  cmbFormat->clear();
  for (const TFormatOption& f : FormatOptions()) cmbFormat->addItem(QString::fromStdString(f.name));
  cmbFormat->setCurrentIndex(0);
  cmbPriority->clear();
  for (const TPriorityOption& p : PriorityOptions())
    cmbPriority->addItem(QString::fromStdString(p.name));
  cmbPriority->setCurrentIndex(0);
}

void TfrmMain::LoadSettings() {
  const std::string output =
      ini_ ? LoadMissionFile(*ini_, *missions_, Paths.defaultOutputDir) : Paths.defaultOutputDir;
  lblOutDir->setText(QString::fromStdString(output));
  lblOutDir->setLink(lblOutDir->text());
  missionsLoaded_ = ini_ != nullptr;
}

void TfrmMain::SaveSettings() {
  // After the close sequence has released the settings file, late
  // requests have nothing to write to.
  if (!ini_ || !missionsLoaded_) return;
  SaveMissionFile(*ini_, *missions_, Paths.portableMode, lblOutDir->text().toStdString());
}

void TfrmMain::ClearIni() {
  if (ini_) ClearStoredMissions(*ini_);
}

}  // namespace quillmarsh
