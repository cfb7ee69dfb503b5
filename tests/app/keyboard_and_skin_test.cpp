// The keyboard and the skin as a user meets them: Tab out of the list, a
// visible focus on every control that takes it, disabled menu entries and
// the spin boxes' arrows.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>

#include "app/pasDebug.h"
#include "app/pasMain.h"
#include "missions/MissionStatus.h"
#include "support/QtTestApp.h"
#include "ui/Skin.h"

namespace quillmarsh {

namespace {
class KeyboardAndSkin : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApp<QApplication>();
    qApp->setStyleSheet(LoadSkin(QM_SOURCE_DIR "/resources/default.skn"));
    window_ = std::make_unique<TfrmMain>();
    for (int i = 0; i < 40; ++i)
      w().Missions().addLsvItem("https://v/" + std::to_string(i), std::string(Status::Converted),
                                100, {}, {}, {}, false, {}, {});
    w().show();
    w().activateWindow();
    ASSERT_TRUE(SpinUntil([&] { return w().isActiveWindow(); }));
  }
  void TearDown() override { qApp->setStyleSheet({}); }
  void tab(QWidget* from) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(from, &press);
  }

  TfrmMain& w() { return *window_; }
  std::unique_ptr<TfrmMain> window_;
};
}  // namespace

TEST_F(KeyboardAndSkin, TabLeavesTheListForTheButtonsBelowIt) {
  w().lsvList->setFocus(Qt::TabFocusReason);
  w().lsvList->setCurrentIndex(w().Missions().index(0, 0));
  tab(w().lsvList);
  EXPECT_EQ(QApplication::focusWidget(), w().btnClear) << "one press, not one per cell";
}

TEST_F(KeyboardAndSkin, EveryControlThatTakesTheFocusShowsIt) {
  std::vector<QWidget*> controls;
  for (QWidget* child : w().findChildren<QWidget*>())
    if ((child->focusPolicy() & Qt::TabFocus) && child->isVisibleTo(window_.get()) &&
        child->isEnabled())
      controls.push_back(child);
  ASSERT_GE(controls.size(), 10u);
  for (QWidget* control : controls) {
    SCOPED_TRACE(control->metaObject()->className() + (" " + control->objectName().toStdString()) +
                 " " + control->property("text").toString().toStdString());
    (control == w().btnAbout ? w().btnClear : w().btnAbout)->setFocus(Qt::TabFocusReason);
    const QImage without = control->grab().toImage();
    control->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(control->hasFocus());
    EXPECT_NE(control->grab().toImage(), without);
  }
}

TEST_F(KeyboardAndSkin, DisabledMenuEntriesLookDisabledAndSpinBoxesShowArrows) {
  w().lsvList->selectRow(0);
  w().PrepareRowMenu(0);
  ASSERT_FALSE(w().retryAction->isEnabled());
  const QImage disabled = w().rowMenu->grab().toImage();
  w().retryAction->setEnabled(true);
  const QImage enabled = w().rowMenu->grab().toImage();
  EXPECT_NE(disabled, enabled);

  TfrmDebug debug(window_.get());
  debug.show();
  QSpinBox* spin = debug.speDownCounter;
  spin->setValue(1);
  const QImage shot = spin->grab().toImage();
  // The arrows are the dark pixels at the right end, where the number is not.
  int dark = 0;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = shot.width() - 14; x < shot.width() - 2; ++x)
      if (qGray(shot.pixel(x, y)) < 128) ++dark;
  EXPECT_GT(dark, 6);
}

}  // namespace quillmarsh
