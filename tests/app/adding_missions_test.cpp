// Adding missions: the URL box, duplicates, the clipboard and imports.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <QApplication>
#include "app/pasMain.h"
#include "missions/MissionStatus.h"
#include "support/BoxRecorder.h"

#include "support/QtTestApp.h"
#include "support/TempDir.h"

namespace quillmarsh {

namespace {
class AddingMissions : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApp<QApplication>();
    w_ = std::make_unique<TfrmMain>();
  }
  MissionModel& list() { return w_->Missions(); }
  void go(const QString& text) {
    w_->edtUrl->setText(text);
    w_->btnGoClick();
  }
  BoxRecorder boxes_;
  std::unique_ptr<TfrmMain> w_;
};
}  // namespace

TEST_F(AddingMissions, TrimsRefusesDuplicatesAndKeepsChoices) {
  w_->chkConvert->setChecked(true);
  w_->cmbFormat->setCurrentIndex(3);
  go(QStringLiteral("  https://video.example/watch?v=1  "));
  ASSERT_EQ(list().count(), 1);
  EXPECT_EQ(list().url(0), "https://video.example/watch?v=1");
  EXPECT_EQ(list().status(0), Status::WaitForDownload);
  EXPECT_TRUE(list().record(0).doConvert);
  EXPECT_EQ(list().record(0).format, "PSP (.mp4)");
  EXPECT_EQ(list().record(0).priority, "");
  EXPECT_EQ(w_->edtUrl->text(), QStringLiteral("  https://video.example/watch?v=1  "))
      << "the box keeps its text";

  go(QStringLiteral("https://video.example/watch?v=1"));
  EXPECT_EQ(list().count(), 1);
  EXPECT_EQ(boxes_.boxes(),
            QStringList{QStringLiteral("Quillmarsh|This URL has already been added.")});

  go(QStringLiteral("https://video.example/WATCH?v=1"));
  go(QStringLiteral("no domain at all"));
  go(QStringLiteral(" \t "));
  EXPECT_EQ(list().count(), 3) << "case differs: new; any text: new; blank: nothing";
  EXPECT_EQ(boxes_.boxes().size(), 1);
}

TEST_F(AddingMissions, StartingDownloadsDisablesTheListButtons) {
  w_->btnClear->setEnabled(true);
  go({});
  EXPECT_TRUE(w_->Pipeline().Busy);
  EXPECT_TRUE(w_->btnStop->isEnabled());
  EXPECT_FALSE(w_->btnClear->isEnabled());
  EXPECT_FALSE(w_->btnRemove->isEnabled());
  EXPECT_FALSE(w_->btnReset->isEnabled());
  EXPECT_FALSE(w_->Pipeline().Stopping);
}

TEST_F(AddingMissions, ImportSplitsLinesTrimsAndKeepsRepeats) {
  TempDir dir;
  WriteFile(dir.file("urls.txt"), "a://1\r\n\r\n  a://2 \rb://3\n\t\na://1\n");
  w_->ImportUrlFile(QString::fromStdString(dir.file("urls.txt")));
  ASSERT_EQ(list().count(), 4);
  EXPECT_EQ(list().url(0), "a://1");
  EXPECT_EQ(list().url(1), "a://2");
  EXPECT_EQ(list().url(2), "b://3");
  EXPECT_EQ(list().url(3), "a://1") << "no duplicate test on import";
  EXPECT_EQ(list().status(3), Status::WaitForDownload);
  EXPECT_FALSE(w_->Pipeline().Busy) << "an import starts nothing";

  w_->ImportUrlFile(QString::fromStdString(dir.file("missing.txt")));
  w_->ImportUrlFile(QString::fromStdString(dir.path()));
  EXPECT_EQ(list().count(), 4);
}

}  // namespace quillmarsh
