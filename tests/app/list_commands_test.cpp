// The user's upkeep of the list: buttons, reset, remove, clear, output folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include "app/pasMain.h"
#include "missions/MissionStatus.h"
#include "support/BoxRecorder.h"
#include "support/QtTestApp.h"
#include "ui/LinkLabel.h"

namespace quillmarsh {

namespace {
class ListCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApp<QApplication>();
    window_ = std::make_unique<TfrmMain>();
    for (const char* status :
         {"[Error in convert]", "[Error in download]", "[Converted]", "[Downloaded]"})
      w().Missions().addLsvItem(std::string("a://") + status, status, 7, {}, {}, {}, false, {}, {});
  }
  void select(std::initializer_list<int> rows) {
    QItemSelectionModel* s = w().lsvList->selectionModel();
    s->clearSelection();
    for (int r : rows)
      s->select(w().Missions().index(r, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  std::vector<std::string> statuses() {
    std::vector<std::string> out;
    for (int r = 0; r < w().Missions().count(); ++r) out.push_back(w().Missions().status(r));
    return out;
  }
  TfrmMain& w() { return *window_; }
  BoxRecorder boxes_{mrYes};
  std::unique_ptr<TfrmMain> window_;
};
}  // namespace

TEST_F(ListCommands, RemoveAndResetOpenUpOnlyOnceDownloadingHasStopped) {
  w().StartDownload();  // as start-up does
  EXPECT_TRUE(w().btnStop->isEnabled());
  EXPECT_FALSE(w().btnClear->isEnabled());
  select({0});
  w().lsvListClick();
  EXPECT_FALSE(w().btnRemove->isEnabled());
  EXPECT_FALSE(w().btnReset->isEnabled());

  w().suitempbtnStopClick();
  EXPECT_TRUE(w().btnClear->isEnabled());
  EXPECT_TRUE(w().btnStop->isEnabled());
  w().lsvList->clearSelection();
  w().lsvListClick();
  EXPECT_FALSE(w().btnRemove->isEnabled()) << "no row selected";
  select({1});
  w().lsvListClick();
  EXPECT_TRUE(w().btnRemove->isEnabled());
  EXPECT_TRUE(w().btnReset->isEnabled());
}

TEST_F(ListCommands, ResetChangesTheFirstSelectedRowOnly) {
  select({1, 0});
  w().btnResetClick();
  EXPECT_EQ(statuses(), (std::vector<std::string>{"[Wait for convert]", "[Error in download]",
                                                  "[Converted]", "[Downloaded]"}));
  EXPECT_EQ(w().Missions().record(0).progress, 7) << "progress untouched";
  select({1});
  w().btnResetClick();
  select({2});
  w().btnResetClick();
  EXPECT_EQ(statuses(), (std::vector<std::string>{"[Wait for convert]", "[Wait for download]",
                                                  "[Converted]", "[Downloaded]"}));
}

TEST_F(ListCommands, RemoveDeletesEverySelectedRowAndClearAsksFirst) {
  select({0, 2});
  w().suitempbtnRemoveClick();
  EXPECT_EQ(statuses(), (std::vector<std::string>{"[Error in download]", "[Downloaded]"}));
  EXPECT_EQ(w().Missions().url(1), "a://[Downloaded]") << "records go with their rows";

  boxes_.setAnswer(mrNo);
  w().suitempbtnClearClick();
  EXPECT_EQ(w().Missions().count(), 2);
  boxes_.setAnswer(mrYes);
  w().suitempbtnClearClick();
  EXPECT_EQ(w().Missions().count(), 0);
  EXPECT_EQ(boxes_.boxes().last(), QStringLiteral("Quillmarsh|Are you to to clear the list?"));
}

TEST_F(ListCommands, CancellingTheFolderChooserChangesNothing) {
  w().lblOutDir->setText(QStringLiteral("/old/place"));
  w().lblOutDir->setLink(QStringLiteral("/old/place"));
  QString prompt;
  QTimer::singleShot(100, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    prompt = dialog->windowTitle();
    dialog->reject();
  });
  w().suitempbtnOutputClick();
  EXPECT_EQ(prompt, QStringLiteral("Select a directory"));
  EXPECT_EQ(w().lblOutDir->text(), QStringLiteral("/old/place"));
  EXPECT_EQ(w().lblOutDir->link(), QStringLiteral("/old/place"));
}

}  // namespace quillmarsh
