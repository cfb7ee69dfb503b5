// The settings window: what it shows from the settings file, what OK keeps,
// and where the user finds it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QMenu>
#include <QSpinBox>
#include <QTableView>

#include "app/SettingsWindow.h"
#include "app/pasMain.h"
#include "missions/SignInSettings.h"
#include "shared/IniFile.h"
#include "shared/ProgramVocabulary.h"
#include "support/BoxRecorder.h"
#include "support/QtTestApp.h"
#include "support/TempDir.h"

namespace quillmarsh {
namespace {

TEST(SettingsWindow, ShowsTheFileAndOkKeepsWhatItShows) {
  EnsureQtApp<QApplication>();
  TempDir dir;
  WriteFile(dir.file("qlmsh.ini"),
            "[Config]\r\nUpdateSiteExtractor=0\r\n[SignIn]\r\nCount=2\r\n"
            "Site1=a.example firefox\r\nSite2=b.example no\r\n");
  IniFile ini(dir.file("qlmsh.ini"));
  int forgotten = 0;
  TfrmSettings window(ini, nullptr, [&forgotten] { ++forgotten; });
  EXPECT_EQ(window.cmbSignIn->currentText(), QStringLiteral("Ask each site"));
  window.btnForgetHistory->click();
  EXPECT_EQ(forgotten, 1) << "the window forgets the download history through the main window";
  ASSERT_EQ(window.lstSites->count(), 2);
  EXPECT_EQ(window.lstSites->item(0)->text(), QStringLiteral("a.example: yes, from Firefox"));
  EXPECT_EQ(window.lstSites->item(1)->text(), QStringLiteral("b.example: no"));
  EXPECT_FALSE(window.chkUpdateExtractor->isChecked());
  EXPECT_TRUE(window.edtSpeedLimit->text().isEmpty()) << "no limit by default";

  window.lstSites->item(0)->setSelected(true);
  window.btnForgetClick();
  window.cmbSignIn->setCurrentIndex(window.cmbSignIn->findData(QStringLiteral("file")));
  window.edtCookieFile->setText(QStringLiteral("/home/u/cookies.txt"));
  window.edtSpeedLimit->setText(QStringLiteral("fast"));
  window.chkUpdateExtractor->setChecked(true);
  window.speDownloads->setValue(40);
  window.speConversions->setValue(0);
  {
    BoxRecorder boxes;
    EXPECT_FALSE(window.Save()) << "not a speed";
    EXPECT_EQ(boxes.boxes().size(), 1);
  }
  window.edtSpeedLimit->setText(QStringLiteral("2M"));
  ASSERT_TRUE(window.Save());

  const IniFile saved(dir.file("qlmsh.ini"));
  EXPECT_EQ(ReadSignInChoice(saved).mode, SignInChoice::Mode::CookieFile);
  EXPECT_EQ(ReadSignInChoice(saved).cookieFile, "/home/u/cookies.txt");
  EXPECT_EQ(ReadSiteAnswers(saved), (SiteAnswers{{"b.example", "no"}}));
  EXPECT_EQ(saved.ReadString(IniKeys::Config, IniKeys::SpeedLimit, ""), "2M");
  EXPECT_TRUE(saved.ReadBool(IniKeys::Config, IniKeys::UpdateSiteExtractor, false));
  EXPECT_EQ(saved.ReadInteger(IniKeys::Config, IniKeys::DownloadsAtOnce, 0), 16);
  EXPECT_EQ(saved.ReadInteger(IniKeys::Config, IniKeys::ConversionsAtOnce, 0), 1);
}

TEST(SettingsWindow, TheListsEmptyAreaOffersIt) {
  EnsureQtApp<QApplication>();
  TfrmMain window;
  window.show();
  Q_EMIT window.lsvList->customContextMenuRequested(QPoint(5, 5));
  QStringList offered;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (auto* menu = qobject_cast<QMenu*>(top); menu && menu->isVisible()) {
      for (QAction* action : menu->actions()) offered << action->text();
      menu->close();
    }
  }
  EXPECT_EQ(offered, (QStringList{QStringLiteral("Settings…"),
                                  QStringLiteral("Forget the download history")}));
}

}  // namespace
}  // namespace quillmarsh
