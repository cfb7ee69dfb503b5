// The keyboard and the skin as a user meets them: Tab out of the list, a
// visible focus on every control that takes it, disabled menu entries.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTableView>

#include "app/pasMain.h"
#include "missions/MissionStatus.h"
#include "support/QtTestApp.h"
#include "ui/Skin.h"

namespace quillmarsh {

TEST(KeyboardAndSkin, TabLeavesTheListAndEveryFocusShows) {
  EnsureQtApp<QApplication>();
  qApp->setStyleSheet(LoadSkin(QM_SOURCE_DIR "/resources/default.skn"));
  TfrmMain w;
  for (int i = 0; i < 40; ++i)
    w.Missions().addLsvItem("https://v/" + std::to_string(i), "[Converted]", 100, {}, {}, {}, false,
                            {}, {});
  w.show();
  w.activateWindow();
  ASSERT_TRUE(SpinUntil([&] { return w.isActiveWindow(); }));

  w.lsvList->setFocus(Qt::TabFocusReason);
  w.lsvList->setCurrentIndex(w.Missions().index(0, 0));
  QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
  QApplication::sendEvent(w.lsvList, &tab);
  EXPECT_EQ(QApplication::focusWidget(), w.btnClear) << "one press, not one per cell";

  int controls = 0;
  for (QWidget* control : w.findChildren<QWidget*>()) {
    if (!(control->focusPolicy() & Qt::TabFocus) || !control->isVisibleTo(&w) ||
        !control->isEnabled())
      continue;
    ++controls;
    SCOPED_TRACE(control->metaObject()->className() + (" " + control->objectName().toStdString()));
    (control == w.btnAbout ? w.btnClear : w.btnAbout)->setFocus(Qt::TabFocusReason);
    const QImage without = control->grab().toImage();
    control->setFocus(Qt::TabFocusReason);
    EXPECT_NE(control->grab().toImage(), without);
  }
  EXPECT_GE(controls, 10);

  w.lsvList->selectRow(0);
  w.PrepareRowMenu(0);
  ASSERT_FALSE(w.retryAction->isEnabled());
  const QImage disabled = w.rowMenu->grab().toImage();
  w.retryAction->setEnabled(true);
  EXPECT_NE(w.rowMenu->grab().toImage(), disabled) << "a disabled entry looks disabled";

  qApp->setStyleSheet({});
}

}  // namespace quillmarsh
