// The main window's controls, placement, message box and web links.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <QApplication>
#include "app/MainWindowPlacement.h"
#include "app/pasAbout.h"
#include "app/pasMain.h"

#include "support/AppFolder.h"
#include "support/QtTestApp.h"
#include "support/TempDir.h"
#include "ui/LinkLabel.h"
#include "ui/MessageBox.h"
#include "ui/OpenWebPage.h"
#include "ui/SkinnedFrame.h"

namespace quillmarsh {

namespace {
QStringList items(const QComboBox* c) {
  QStringList out;
  for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
  return out;
}
}  // namespace

TEST(MainWindow, ControlsHaveTheirCaptionsPlacesAndStates) {
  EnsureQtApp<QApplication>();
  TfrmMain w;
  EXPECT_EQ(w.size(), QSize(569, 667));
  EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(w.GroupBox1->title(), QStringLiteral("Add Video Link:"));
  const auto placed = [&w](const QWidget* c) { return QRect(c->mapTo(&w, QPoint()), c->size()); };
  EXPECT_EQ(placed(w.GroupBox1), QRect(38, 63, 505, 162));
  EXPECT_EQ(w.edtUrl->geometry(), QRect(54, 40, 334, 21));
  EXPECT_EQ(w.btnPaste->text(), QStringLiteral("Paste URL"));
  EXPECT_EQ(w.btnOutput->text(), QStringLiteral("Change.."));
  EXPECT_EQ(w.lblOutDir->text(), QStringLiteral("output"));
  EXPECT_EQ(w.lblOutDir->geometry(), QRect(115, 74, 282, 40));
  EXPECT_EQ(w.chkConvert->text(), QStringLiteral("Convert to:"));
  EXPECT_FALSE(w.chkConvert->isChecked());
  EXPECT_EQ(placed(w.btnGo), QRect(399, 247, 144, 51));
  EXPECT_EQ(w.btnGo->text(), QStringLiteral("Download and Convert"));
  EXPECT_EQ(placed(w.lsvList), QRect(38, 322, 505, 261));

  struct B {
    QPushButton* b;
    const char* caption;
    QRect geo;
    bool enabled;
    bool hidden;
  };
  for (const B& b : {B{w.btnClear, "Clear", {38, 608, 75, 25}, true, false},
                     B{w.btnRemove, "Remove", {145, 608, 75, 25}, false, false},
                     B{w.btnReset, "Reset", {257, 608, 75, 25}, false, false},
                     B{w.btnStop, "Stop", {366, 608, 75, 25}, false, false},
                     B{w.btnAbout, "About..", {468, 608, 75, 25}, true, false},
                     B{w.btnTest, "Test", {145, 639, 75, 25}, true, true},
                     B{w.btnLoad, "Load..", {257, 639, 75, 25}, true, true}}) {
    SCOPED_TRACE(b.caption);
    EXPECT_EQ(b.b->text(), QString::fromUtf8(b.caption));
    EXPECT_EQ(placed(b.b), b.geo);
    EXPECT_EQ(b.b->isEnabled(), b.enabled);
    EXPECT_EQ(b.b->isHidden(), b.hidden);
  }

  EXPECT_EQ(items(w.cmbFormat),
            QStringList({QStringLiteral("iPad (.mp4)"), QStringLiteral("iPod (.mov)"),
                         QStringLiteral("iPhone (.mp4)"), QStringLiteral("PSP (.mp4)"),
                         QStringLiteral("Cell Phone (.3gp)"), QStringLiteral("MP3 (.mp3)"),
                         QStringLiteral("AVI (.avi)"), QStringLiteral("WMV (.wmv)")}));
  EXPECT_EQ(w.cmbFormat->currentIndex(), -1);
  EXPECT_EQ(items(w.cmbPriority),
            QStringList({QStringLiteral("Quality First"), QStringLiteral("Both"),
                         QStringLiteral("Time First")}));
  EXPECT_EQ(w.Show1->text(), QStringLiteral("&Show"));
  EXPECT_EQ(w.Exit1->text(), QStringLiteral("&Exit"));

  EXPECT_TRUE(w.sufMain->titleButton(SkinnedFrame::Help));
  EXPECT_TRUE(w.sufMain->titleButton(SkinnedFrame::Minimize));
  EXPECT_TRUE(w.sufMain->titleButton(SkinnedFrame::Close));
  EXPECT_FALSE(w.sufMain->titleButton(SkinnedFrame::Maximize));

  // The size is fixed: nothing can stretch the window out of its layout.
  w.show();
  w.resize(669, 767);
  EXPECT_EQ(w.size(), QSize(569, 667));
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  EXPECT_EQ(placed(w.lsvList), QRect(38, 322, 505, 261));
}

TEST(MainWindow, ChangeOpensAtTheOutputFolderWithThePrompt) {
  EnsureQtApp<QApplication>();
  TempDir output;
  TfrmMain w;
  w.lblOutDir->setText(QString::fromStdString(output.path() + "/"));
  w.show();
  QString title, folder;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    title = dialog->windowTitle();
    folder = dialog->directory().absolutePath();
    dialog->reject();
  });
  poll.start(10);
  w.btnOutput->click();
  poll.stop();
  EXPECT_EQ(title, QStringLiteral("Select a directory"));
  EXPECT_EQ(folder, QString::fromStdString(output.path()));
  EXPECT_EQ(w.lblOutDir->text(), QString::fromStdString(output.path() + "/")) << "cancelled";
}

// The icon is read from PNG sizes compiled in: no image plugin needed.
TEST(MainWindow, TitleBarsAndTaskbarShowTheIcon) {
  EnsureQtApp<QApplication>();
  TfrmMain w;
  TfrmAbout about;
  for (QWidget* window : std::initializer_list<QWidget*>{&w, &about}) {
    SCOPED_TRACE(window->objectName().toStdString());
    EXPECT_EQ(window->windowIcon().availableSizes().size(), 6);
    EXPECT_FALSE(window->windowIcon().pixmap(256).isNull());
    const auto* titleIcon = window->findChild<QLabel*>(QStringLiteral("TitleIcon"));
    ASSERT_NE(titleIcon, nullptr);
    EXPECT_FALSE(titleIcon->pixmap().isNull());
  }
}

TEST(MainWindow, PlacementDividesTowardZero) {
  EXPECT_EQ(CentredPosition(1280, 569), 355);
  EXPECT_EQ(CentredPosition(1280, 569, 543), 84);
  EXPECT_EQ(CentredPosition(564, 569), -2) << "-5 div 2 is -2, not -3";
  EXPECT_EQ(CentredPosition(600, 569, 543), -256);
}

// The real program on an offscreen screen of the given size and scale: the
// window inside the screen's area, the list giving up height first, then
// the controls scrolling, every one of them within reach.
TEST(MainWindow, OnASmallOrScaledScreenTheWindowFitsTheArea) {
  EnsureQtApp();
  const struct {
    const char *scale, *width, *height, *geometry;
  } cases[] = {{"1", "1280", "1024", "GEOMETRY\t1\t1\t261\t1"},
               {"2", "1280", "1024", "GEOMETRY\t1\t1\t106\t1"},
               {"1", "800", "600", "GEOMETRY\t1\t1\t194\t1"},
               // 512 x 384: the controls scroll, the list at its least height.
               {"2", "1024", "768", "GEOMETRY\t1\t0\t80\t1"},
               {"1", "530", "700", "GEOMETRY\t1\t1\t247\t1"}};
  for (const auto& c : cases) {
    AppFolder app;
    const std::string config = app.home() + "/screen.json";
    WriteFile(config,
              std::string("{\"screens\": [{\"name\": \"s\", \"x\": 0, \"y\": 0, \"width\": ") +
                  c.width + ", \"height\": " + c.height + ", \"dpr\": 1}]}");
    QProcessEnvironment env = app.environment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"),
               QStringLiteral("offscreen:configfile=") + QString::fromStdString(config));
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromUtf8(c.scale));
    QProcess probe;
    probe.setProcessEnvironment(env);
    probe.start(QString::fromStdString(app.program()),
                {QStringLiteral("--quit-when-shown"), QStringLiteral("--print-geometry")});
    ASSERT_TRUE(probe.waitForFinished(20000));
    const QByteArray out = probe.readAllStandardOutput();
    EXPECT_TRUE(out.contains(c.geometry)) << c.width << "x" << c.height << " at " << c.scale << "\n"
                                          << out.constData();
  }
}

TEST(MessageBox, ShowsAtMostThreeButtonsInStandardOrder) {
  using V = std::vector<MsgButton>;
  EXPECT_EQ(VisibleButtons(mbNo | mbYes), (V{mbYes, mbNo}));
  EXPECT_EQ(VisibleButtons(mbIgnore | mbOK | mbRetry | mbCancel), (V{mbOK, mbCancel, mbRetry}));
  const std::pair<MsgButton, int> codes[] = {
      {mbOK, 1}, {mbCancel, 2}, {mbAbort, 3}, {mbRetry, 4}, {mbIgnore, 5}, {mbYes, 6}, {mbNo, 7}};
  for (const auto& [button, code] : codes) EXPECT_EQ(ResultOf(button), code);
}

TEST(MessageBox, RealBoxReturnsThePressedButtonsCode) {
  EnsureQtApp<QApplication>();
  QStringList shown;
  QString title;
  QTimer::singleShot(50, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    for (QAbstractButton* b : box->buttons()) shown << b->text();
    box->button(QMessageBox::No)->click();
  });
  const int result =
      ShowMessageBox(QStringLiteral("Quillmarsh"), QStringLiteral("Are you sure to close now?"),
                     MsgKind::Warning, mbYes | mbNo);
  EXPECT_EQ(result, mrNo);
  EXPECT_EQ(title, QStringLiteral("Quillmarsh"));
  EXPECT_EQ(shown.size(), 2);
}

TEST(OpenWebPage, BlankHandlerAndFallback) {
  EnsureQtApp<QApplication>();
  QStringList opened, started;
  bool handler = true;
  SetWebOpener({[&] { return handler; }, [&](const QString& a) { opened << a; },
                [&](const QString& p, const QStringList& args) { started << p << args; }});

  OpenWebPage(QStringLiteral(" \t "));
  EXPECT_TRUE(opened.isEmpty());
  EXPECT_TRUE(started.isEmpty());

  OpenWebPage(QStringLiteral(" https://www.example.org/ "));
  EXPECT_EQ(opened, QStringList{QStringLiteral(" https://www.example.org/ ")}) << "untrimmed";

  handler = false;
  OpenWebPage(QStringLiteral("https://www.example.org/help"));
  EXPECT_EQ(started,
            QStringList({kFallbackBrowser, QStringLiteral("https://www.example.org/help")}));
  EXPECT_EQ(opened.size(), 1);
  SetWebOpener(SystemWebOpener());
}

}  // namespace quillmarsh
