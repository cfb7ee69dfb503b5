// The list's row menu, double-click and Delete through the real window.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTableView>
#include <cstdlib>

#include "app/pasMain.h"
#include "missions/MissionStatus.h"
#include "support/QtTestApp.h"
#include "support/TempDir.h"
#include "ui/OpenFile.h"
#include "ui/Skin.h"

namespace quillmarsh {

namespace {
class RowMenu : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApp<QApplication>();
    SetFileOpener({[this](const QString& p) { opened_.push_back("file " + p.toStdString()); },
                   [this](const QString& p) { opened_.push_back("folder " + p.toStdString()); }});
    w_ = std::make_unique<TfrmMain>();
    WriteFile(clip_, "video");
    WriteFile(clip_ + ".mp3", "audio");
    add("https://v/converted", Status::Converted, clip_);       // 0
    add("https://v/failed", Status::ErrorInDownload, {});       // 1
    add("https://v/waiting", Status::WaitForDownload, {});      // 2
    add("https://v/running", "[Downloading] 45%", {});          // 3
    add("https://v/gone", Status::Downloaded, dir_.file("x"));  // 4
  }
  void TearDown() override { SetFileOpener(SystemFileOpener()); }
  void add(const std::string& url, std::string_view status, const std::string& file) {
    w_->Missions().addLsvItem(url, std::string(status), 0, {}, {}, file, true, "MP3 Audio(.mp3)",
                              "Both");
  }
  void select(int row) { w_->lsvList->selectRow(row); }
  // Which of Open file, Open folder, Copy address, Retry, Remove apply.
  std::string enabled(int row) {
    select(row);
    w_->PrepareRowMenu(row);
    std::string out;
    for (QAction* a : {w_->openFileAction, w_->openFolderAction, w_->copyAddressAction,
                       w_->retryAction, w_->removeAction})
      out += a->isEnabled() ? '1' : '0';
    return out;
  }

  TempDir dir_;
  const std::string clip_ = dir_.file("clip.flv");
  std::vector<std::string> opened_;
  std::unique_ptr<TfrmMain> w_;
};
}  // namespace

TEST_F(RowMenu, ItemsApplyPerStateAndRemoveFollowsTheRemoveButtonsRule) {
  w_->Pipeline().Busy = true;  // workers run: rows must stay where they are
  EXPECT_EQ(enabled(0), "11100");
  EXPECT_EQ(enabled(1), "00110") << "a failure can be retried while others run";
  EXPECT_EQ(enabled(2), "00100") << "waiting in a running queue: nothing to retry";
  EXPECT_EQ(enabled(3), "00100");
  EXPECT_EQ(enabled(4), "00100") << "its file is gone";
  w_->Pipeline().Busy = false;  // after Stop
  EXPECT_EQ(enabled(2), "00111");
  EXPECT_EQ(enabled(3), "00101");
}

TEST_F(RowMenu, OpenCopyAndDoubleClickUseTheRightFileAndAddress) {
  enabled(0);
  w_->openFileAction->trigger();
  w_->openFolderAction->trigger();
  Q_EMIT w_->lsvList->doubleClicked(w_->Missions().index(0, 2));
  w_->copyAddressAction->trigger();
  EXPECT_EQ(opened_, (std::vector<std::string>{"file " + clip_ + ".mp3", "folder " + clip_ + ".mp3",
                                               "file " + clip_ + ".mp3"}));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("https://v/converted"));
  Q_EMIT w_->lsvList->doubleClicked(w_->Missions().index(4, 0));
  EXPECT_EQ(opened_.size(), 3u) << "no file, nothing opened";
}

TEST_F(RowMenu, RetryPutsTheMissionBackAndStartsTheScheduler) {
  enabled(1);
  w_->retryAction->trigger();
  EXPECT_EQ(w_->Missions().status(1), Status::WaitForDownload);
  EXPECT_TRUE(w_->Pipeline().Busy) << "StartDownload ran";
  EXPECT_TRUE(w_->btnStop->isEnabled());
}

TEST_F(RowMenu, RemoveAndDeleteRemoveOnlyWhenNothingRuns) {
  w_->Pipeline().Busy = true;
  select(1);
  QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
  QApplication::sendEvent(w_->lsvList, &del);
  w_->removeAction->trigger();
  EXPECT_EQ(w_->Missions().count(), 5);
  w_->Pipeline().Busy = false;
  QKeyEvent del2(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
  QApplication::sendEvent(w_->lsvList, &del2);
  ASSERT_EQ(w_->Missions().count(), 4);
  EXPECT_EQ(w_->Missions().url(1), "https://v/waiting");
  select(1);
  enabled(1);
  w_->removeAction->trigger();
  EXPECT_EQ(w_->Missions().url(1), "https://v/running");
}

// Shift+F10 opens the current row's menu at that row, as the Menu key does.
TEST_F(RowMenu, ShiftF10OpensTheCurrentRowsMenu) {
  w_->show();
  w_->lsvList->setCurrentIndex(w_->Missions().index(1, 0));
  QKeyEvent press(QEvent::KeyPress, Qt::Key_F10, Qt::ShiftModifier);
  QApplication::sendEvent(w_->lsvList, &press);
  ASSERT_TRUE(SpinUntil([&] { return w_->rowMenu->isVisible(); }));
  EXPECT_TRUE(w_->retryAction->isEnabled()) << "row 1, the failed one";
  const QRect row = w_->lsvList->visualRect(w_->Missions().index(1, 0));
  EXPECT_EQ(w_->rowMenu->pos(), w_->lsvList->viewport()->mapToGlobal(row.center()));
  w_->rowMenu->hide();
}

// Writes the menu as it shows over the list to $QM_SCREENSHOT_DIR/row-menu.png.
TEST_F(RowMenu, Screenshot) {
  const char* folder = std::getenv("QM_SCREENSHOT_DIR");
  if (!folder) GTEST_SKIP() << "QM_SCREENSHOT_DIR not set";
  qApp->setStyleSheet(LoadSkin(QM_SOURCE_DIR "/resources/default.skn"));
  w_->LoadConvertOptions();
  w_->show();
  const QPoint at = w_->lsvList->visualRect(w_->Missions().index(1, 1)).center();
  select(1);
  Q_EMIT w_->lsvList->customContextMenuRequested(at);
  ASSERT_TRUE(SpinUntil([&] { return w_->rowMenu->isVisible(); }));
  SpinFor(std::chrono::milliseconds(100));
  QPixmap shot = w_->grab();
  QPainter painter(&shot);
  painter.drawPixmap(w_->mapFromGlobal(w_->rowMenu->pos()), w_->rowMenu->grab());
  painter.end();
  EXPECT_TRUE(shot.save(QString::fromUtf8(folder) + QStringLiteral("/row-menu.png")));
  w_->rowMenu->hide();
  qApp->setStyleSheet({});
}

}  // namespace quillmarsh
