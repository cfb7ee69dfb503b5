// Start-up in a temporary home and application folder.
#include <gtest/gtest.h>
#include <QApplication>

#include <QComboBox>
#include <QPlainTextEdit>
#include <filesystem>

#include "app/pasDebug.h"
#include "app/pasGlobal.h"
#include "app/pasMain.h"
#include "platform/UserFolders.h"
#include "support/BoxRecorder.h"
#include "support/QtTestApp.h"
#include "support/TempDir.h"
#include "ui/LinkLabel.h"

namespace quillmarsh {

namespace fs = std::filesystem;

namespace {
class InitSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApp<QApplication>();
    fs::create_directories(app());
    fs::create_directories(home());
    WriteFile(app() + "/default.skn", "");
    WriteFile(app() + "/tarnfetch", "");
    qputenv("HOME", QByteArray::fromStdString(home()));
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_CONFIG_HOME");
    SetProgramFolderForTests(app());
    Paths = WorkingPaths{};
  }
  void TearDown() override {
    SetProgramFolderForTests({});
    DebugMode = false;
    frmDebug = nullptr;
  }
  std::string app() const { return dir_.file("app"); }
  std::string home() const { return dir_.file("home"); }
  std::string dataDir() const { return home() + "/.local/share/Quillmarsh/"; }

  std::unique_ptr<TfrmMain> start() {
    auto w = std::make_unique<TfrmMain>();
    w->InitSettings();
    return w;
  }
  TempDir dir_;
  BoxRecorder boxes_{mrNo};
};
}  // namespace

TEST_F(InitSettings, NormalStartUsesTheDataFolderAndReports) {
  DebugMode = true;
  auto w = std::make_unique<TfrmMain>();
  TfrmDebug debug(w.get());
  frmDebug = &debug;
  fs::create_directories(dataDir() + "site-extractor");
  WriteFile(dataDir() + "site-extractor/report.txt", "[Site extractor] 2026.01.01\n");
  w->InitSettings();

  EXPECT_TRUE(boxes_.boxes().isEmpty()) << boxes_.boxes().join(QLatin1Char('\n')).toStdString();
  EXPECT_EQ(Paths.appDir, app() + "/");
  EXPECT_EQ(Paths.dataDir, dataDir());
  EXPECT_EQ(Paths.iniPath, dataDir() + "qlmsh.ini");
  EXPECT_EQ(Paths.reportFile, dataDir() + "qlmsh.report");
  EXPECT_EQ(Paths.outputDir, home() + "/Documents/Video Download/");
  EXPECT_TRUE(fs::is_directory(Paths.outputDir));
  EXPECT_EQ(w->lblOutDir->text().toStdString(), Paths.outputDir);
  EXPECT_TRUE(w->Pipeline().WorkerListsCreated);
  EXPECT_EQ(w->cmbFormat->count(), 8);
  EXPECT_EQ(w->cmbFormat->currentText(), QStringLiteral("iPad (.mp4)"));
  EXPECT_EQ(w->cmbPriority->currentText(), QStringLiteral("Quality First"));

  const QStringList lines = debug.memReport->toPlainText().split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 5);
  EXPECT_TRUE(
      lines[0].endsWith(QString::fromStdString("] [INI Path]: " + dataDir() + "qlmsh.ini")));
  EXPECT_TRUE(lines[1].endsWith(QString::fromStdString("] [AppData Dir]: " + dataDir())));
  EXPECT_TRUE(lines[2].endsWith(
      QString::fromStdString("] [Output]: " + home() + "/Documents/Video Download/")));
  EXPECT_TRUE(lines[3].endsWith(QStringLiteral("] ====================")));
  EXPECT_TRUE(lines[4].endsWith(QStringLiteral("] [Site extractor] 2026.01.01"))) << "after them";
  EXPECT_TRUE(fs::exists(Paths.reportFile));
}

TEST_F(InitSettings, PortableFileBesideTheProgramKeepsEverythingThere) {
  WriteFile(app() + "/qlmsh.ini",
            "[Config]\r\nPortableMode=1\r\nOutput=" + dir_.file("out") + "\r\n");
  auto w = start();
  EXPECT_TRUE(Paths.portableMode);
  EXPECT_EQ(Paths.dataDir, app() + "/");
  EXPECT_EQ(Paths.iniPath, app() + "/qlmsh.ini");
  EXPECT_EQ(Paths.outputDir, dir_.file("out") + "/");
  EXPECT_FALSE(fs::exists(dataDir())) << "no folder under the user's application data";

  WriteFile(app() + "/qlmsh.ini", "[Config]\r\nPortableMode=0\r\n");
  auto again = start();
  EXPECT_FALSE(Paths.portableMode);
  EXPECT_EQ(Paths.iniPath, dataDir() + "qlmsh.ini");
}

TEST_F(InitSettings, MissingSkinAsksToCloseAndCarriesOnWhenDeclined) {
  fs::remove(app() + "/default.skn");
  auto w = start();
  EXPECT_EQ(boxes_.boxes(), QStringList({QStringLiteral("Quillmarsh|Can not find Skin File"),
                                         QStringLiteral("Quillmarsh|Are you sure to close now?")}));
  EXPECT_FALSE(w->CloseConfirmed());
  EXPECT_TRUE(w->Pipeline().WorkerListsCreated);
}

TEST_F(InitSettings, ConfirmedCloseDuringStartUpSkipsWhatIsMissing) {
  fs::remove(app() + "/default.skn");
  boxes_.setAnswer(mrYes);
  auto w = start();
  EXPECT_TRUE(w->CloseConfirmed());
  EXPECT_EQ(w->SettingsFile(), nullptr) << "released by the close";
}

TEST_F(InitSettings, CloseConfirmedForAMissingDataFolderMakesNoSettingsAgain) {
  fs::create_directories(home() + "/.local");
  WriteFile(home() + "/.local/share", "a file where the folder belongs");
  boxes_.setAnswer(mrYes);
  auto w = start();
  EXPECT_EQ(boxes_.boxes().value(0),
            QStringLiteral("Quillmarsh|Can not create Application Data Folder"));
  EXPECT_TRUE(w->CloseConfirmed());
  EXPECT_EQ(w->SettingsFile(), nullptr) << "no settings object after the close";
  w->InitMain();
  EXPECT_TRUE(w->Pipeline().DownloadThreads.empty());
  EXPECT_FALSE(w->Pipeline().Busy) << "nothing started after the close";
}

TEST_F(InitSettings, OutputFolderThatCannotBeMadeIsReportedWithItsCode) {
  WriteFile(app() + "/qlmsh.ini",
            "[Config]\r\nPortableMode=1\r\nOutput=" + dir_.file("no/such") + "\r\n");
  auto w = start();
  EXPECT_EQ(boxes_.boxes(),
            QStringList{QStringLiteral("Quillmarsh|Create Output Directory failed with error: 2")});
  EXPECT_TRUE(w->Pipeline().WorkerListsCreated) << "start-up goes on";
}

TEST_F(InitSettings, MissingDownloaderStopsBeforeTheTables) {
  fs::remove(app() + "/tarnfetch");
  auto w = start();
  EXPECT_EQ(boxes_.boxes(), QStringList{QStringLiteral(
                                "Quillmarsh|Part of this software is missing. Please reinstall!")});
  EXPECT_FALSE(w->Pipeline().WorkerListsCreated);
  EXPECT_EQ(w->cmbFormat->itemText(1), QStringLiteral("iPod (.mov)")) << "stored items stay";
  EXPECT_EQ(w->cmbFormat->currentIndex(), -1);
}

TEST_F(InitSettings, CloseBeforeTheMissionsAreLoadedKeepsTheStoredList) {
  fs::create_directories(dataDir());
  const std::string stored =
      "[Config]\r\nMission=1\r\n[0]\r\nurl=a://kept\r\nstatus=[Wait for download]\r\n";
  WriteFile(dataDir() + "qlmsh.ini", stored);
  fs::remove(app() + "/default.skn");
  boxes_.setAnswer(mrYes);
  auto w = start();
  EXPECT_TRUE(w->CloseConfirmed());
  EXPECT_EQ(ReadFile(dataDir() + "qlmsh.ini"), stored);
}

}  // namespace quillmarsh
