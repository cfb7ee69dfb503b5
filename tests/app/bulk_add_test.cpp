// Enter, several addresses pasted or dropped at once, and the new rows
// shown: through the real window on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QUrl>

#include "app/pasMain.h"
#include "missions/MissionStatus.h"
#include "support/BoxRecorder.h"
#include "support/QtTestApp.h"
#include "support/TempDir.h"

namespace quillmarsh {

namespace {
const QString kThree =
    QStringLiteral(" https://v.example/1 \r\n\nhttps://v.example/2\nhttps://v.example/3\n");

class BulkAdd : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApp<QApplication>();
    w_ = std::make_unique<TfrmMain>();
    w_->chkConvert->setChecked(true);
    w_->cmbFormat->setCurrentIndex(5);
    w_->cmbPriority->setCurrentIndex(2);
  }
  MissionModel& list() { return w_->Missions(); }
  std::vector<std::string> urls() {
    std::vector<std::string> out;
    for (int r = 0; r < list().count(); ++r) out.push_back(list().url(r));
    return out;
  }
  std::vector<int> selected() {
    std::vector<int> rows;
    for (const QModelIndex& i : w_->lsvList->selectionModel()->selectedRows())
      rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
  }
  void key(QWidget* to, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(to, &press);
  }
  bool drop(QMimeData* mime, QWidget* onto = nullptr) {
    QWidget* target = onto ? onto : w_.get();
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    return true;
  }
  const std::vector<std::string> kThreeUrls{"https://v.example/1", "https://v.example/2",
                                            "https://v.example/3"};
  BoxRecorder boxes_;
  std::unique_ptr<TfrmMain> w_;
};
}  // namespace

TEST_F(BulkAdd, EnterInTheUrlBoxDoesWhatTheButtonDoes) {
  w_->edtUrl->setText(QStringLiteral("https://v.example/enter"));
  key(w_->edtUrl, Qt::Key_Return);
  EXPECT_EQ(urls(), std::vector<std::string>{"https://v.example/enter"});
  EXPECT_TRUE(w_->Pipeline().Busy) << "the schedulers were asked";
  EXPECT_EQ(selected(), std::vector<int>{0}) << "the new row is selected";
  key(w_->edtUrl, Qt::Key_Enter);
  EXPECT_EQ(boxes_.boxes(),
            QStringList{QStringLiteral("Quillmarsh|This URL has already been added.")});
}

TEST_F(BulkAdd, SeveralLinesPastedIntoTheBoxBecomeOneMissionEach) {
  list().addLsvItem("https://v.example/2", std::string(Status::Converted), 100, {}, {}, {}, false,
                    {}, {});
  w_->edtUrl->setText(QStringLiteral("typed"));
  QGuiApplication::clipboard()->setText(kThree + QStringLiteral("https://v.example/3"));
  key(w_->edtUrl, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(urls(), (std::vector<std::string>{"https://v.example/2", "https://v.example/1",
                                              "https://v.example/3"}));
  EXPECT_EQ(boxes_.boxes().size(), 1) << "refused once for two duplicates";
  EXPECT_EQ(w_->edtUrl->text(), QStringLiteral("typed")) << "the box keeps what it had";
  for (int row : {1, 2}) {
    EXPECT_EQ(list().status(row), Status::WaitForDownload);
    EXPECT_TRUE(list().record(row).doConvert);
    EXPECT_EQ(list().record(row).format, "MP3 (.mp3)");
    EXPECT_EQ(list().record(row).priority, "Time First");
  }
  EXPECT_EQ(selected(), (std::vector<int>{1, 2}));
  EXPECT_TRUE(w_->Pipeline().Busy);

  // One line pasted is typing as before.
  QGuiApplication::clipboard()->setText(QStringLiteral("https://v.example/4\n"));
  key(w_->edtUrl, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(list().count(), 3);
}

TEST_F(BulkAdd, APasteOverASelectionOrAmongWordsTakesOnlyTheAddresses) {
  const QString old = QStringLiteral("https://v.example/old");
  const struct {
    QString clipboard;
    bool comingBack;  // else Ctrl+V over the box's text, all of it selected
    QString box;
    std::vector<std::string> added;
  } cases[] = {
      {QStringLiteral("go: ") + kThree, false, old, kThreeUrls},
      {QStringLiteral("see https://v.example/a, please"),
       false,
       QStringLiteral("https://v.example/a"),
       {}},
      {QStringLiteral("just words"), false, old, {}},
      {QStringLiteral("look: https://v.example/c."),
       true,
       QStringLiteral("https://v.example/c"),
       {}},
      {kThree, true, old, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.clipboard.toStdString());
    list().clear();
    w_->edtUrl->setText(old);
    w_->edtUrl->selectAll();
    QGuiApplication::clipboard()->setText(c.clipboard);
    if (c.comingBack)
      w_->ApplicationEvents1Activate();
    else
      key(w_->edtUrl, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(w_->edtUrl->text(), c.box);
    EXPECT_EQ(urls(), c.added);
  }
}

TEST_F(BulkAdd, PasteUrlButtonTakesABatch) {
  QGuiApplication::clipboard()->setText(kThree);
  w_->btnPaste->click();
  EXPECT_EQ(urls(), kThreeUrls);
  EXPECT_TRUE(boxes_.boxes().isEmpty());
}

TEST_F(BulkAdd, DroppedTextLinksAndTextFilesAddOneMissionPerLine) {
  auto* text = new QMimeData;
  text->setText(kThree);
  ASSERT_TRUE(drop(text));
  EXPECT_EQ(urls(), kThreeUrls);

  list().clear();
  TempDir dir;
  WriteFile(dir.file("links.TXT"), "https://v.example/f1\r\n\r\n  https://v.example/f2 \n");
  WriteFile(dir.file("video.mp4"), "https://v.example/not-read\n");
  auto* links = new QMimeData;
  links->setUrls({QUrl(QStringLiteral("https://v.example/link")),
                  QUrl::fromLocalFile(QString::fromStdString(dir.file("links.TXT"))),
                  QUrl::fromLocalFile(QString::fromStdString(dir.file("video.mp4")))});
  ASSERT_TRUE(drop(links, w_->edtUrl));
  EXPECT_EQ(urls(), (std::vector<std::string>{"https://v.example/link", "https://v.example/f1",
                                              "https://v.example/f2"}));
  EXPECT_EQ(w_->edtUrl->text(), QString()) << "links dropped on the box are the window's";
  EXPECT_EQ(list().record(2).format, "MP3 (.mp3)");

  auto* nothing = new QMimeData;
  nothing->setData(QStringLiteral("application/octet-stream"), "x");
  EXPECT_FALSE(drop(nothing));
  delete text;
  delete links;
  delete nothing;
}

TEST_F(BulkAdd, ANewRowAtTheEndOfALongListIsScrolledIntoView) {
  w_->show();
  for (int i = 0; i < 300; ++i)
    list().addLsvItem("a://" + std::to_string(i), std::string(Status::Converted), 100, {}, {}, {},
                      false, {}, {});
  w_->edtUrl->setText(QStringLiteral("https://v.example/last"));
  w_->btnGoClick();
  SpinFor(std::chrono::milliseconds(20));
  const QRect shown = w_->lsvList->viewport()->rect();
  EXPECT_TRUE(shown.contains(w_->lsvList->visualRect(list().index(300, 0)).center()));
  EXPECT_EQ(selected(), std::vector<int>{300});
}

}  // namespace quillmarsh
