#include "app/pasMain.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QTableView>
#include <algorithm>

#include "app/MainWindowPlacement.h"
#include "app/SettingsWindow.h"
#include "app/SignInAsker.h"
#include "app/pasAbout.h"
#include "app/pasDebug.h"
#include "app/pasGlobal.h"
#include "convert/ConvertScheduler.h"
#include "download/DownloadScheduler.h"
#include "missions/DownloadHistory.h"
#include "pipeline/RetryTimer.h"
#include "missions/SignInSettings.h"
#include "shared/IniFile.h"
#include "ui/AppIcon.h"
#include "ui/DesktopNotifier.h"
#include "ui/LinkLabel.h"
#include "ui/MessageBox.h"
#include "ui/OpenWebPage.h"
#include "ui/ProgressDelegate.h"
#include "ui/ScrollCanvas.h"
#include "ui/SkinnedFrame.h"
#include "ui/UiFont.h"

namespace quillmarsh {

namespace {
// The controls are placed on a canvas below the title bar, inside the
// frame's 1-pixel border; their places are given in window coordinates.
constexpr int kCanvasLeft = 1;
constexpr int kCanvasTop = SkinnedFrame::kTitleBarHeight;
constexpr QSize kCanvasSize(kMainWindowWidth - 2 * kCanvasLeft, kMainWindowHeight - kCanvasTop - 1);
// Below this the canvas scrolls: the right-hand controls end at 543, and
// the list keeps kListMinHeight.
constexpr QSize kCanvasMinSize(543 + 2 - kCanvasLeft,
                               kCanvasSize.height() - (kListHeight - kListMinHeight));
constexpr int kListLeft = 38 - kCanvasLeft;
constexpr int kListTop = 322 - kCanvasTop;
constexpr int kListWidth = 505;
// The list keeps these distances to the right and bottom edges, and the
// buttons below it theirs to the bottom edge.
constexpr int kListRightMargin = kCanvasSize.width() - (kListLeft + kListWidth);
constexpr int kListBottomMargin = kCanvasSize.height() - (kListTop + kListHeight);
constexpr int kButtonRowBottom = kCanvasSize.height() - (608 - kCanvasTop);
constexpr int kSecondButtonRowBottom = kCanvasSize.height() - (639 - kCanvasTop);

QRect onCanvas(int x, int y, int w, int h) {
  return {x - kCanvasLeft, y - kCanvasTop, w, h};
}

QPushButton* button(QWidget* parent, const char* caption, int x, int y, int w, int h) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setGeometry(x, y, w, h);
  return b;
}

QLabel* label(QWidget* parent, const char* caption, int x, int y) {
  auto* l = new QLabel(QString::fromUtf8(caption), parent);
  l->move(x, y);
  l->adjustSize();
  return l;
}

QComboBox* dropDown(QWidget* parent, const QStringList& items, int x, int y, int w, int h) {
  auto* c = new QComboBox(parent);
  c->setEditable(false);
  c->addItems(items);
  c->setCurrentIndex(-1);
  c->setGeometry(x, y, w, h);
  return c;
}
}  // namespace

TfrmMain::TfrmMain() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {
  missions_ = new MissionModel(this);
  notifier_ = new DesktopNotifier(QString::fromUtf8(kAppTitle), this);
  // Missions that failed in a way that may pass are tried again by it.
  new RetryTimer(*this, this);
  history_ = std::make_unique<DownloadHistory>();
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QString::fromUtf8(kAppTitle));
  setWindowIcon(AppIcon());
  setFont(UiFont(11));
  // The controls have fixed places: a window manager may not stretch it.
  setFixedSize(kMainWindowWidth, kMainWindowHeight);
  buildControls();
  buildRowMenu();
  setAcceptDrops(true);
  FormCreate();
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::buildControls() {
  sufMain =
      new SkinnedFrame(this, SkinnedFrame::Help | SkinnedFrame::Minimize | SkinnedFrame::Close);
  sufMain->setObjectName(QStringLiteral("sufMain"));
  sufMain->setGeometry(0, 0, width(), height());
  sufMain->setCaption(QString::fromUtf8(kAppTitle));
  connect(sufMain, &SkinnedFrame::helpClicked, this, &TfrmMain::sufMainTitleBarHelpBtnClick);

  scroller = new ScrollCanvas(sufMain);
  scroller->setMinimumCanvasSize(kCanvasMinSize);
  QWidget* canvas = scroller->canvas();

  GroupBox1 = new QGroupBox(QStringLiteral("Add Video Link:"), canvas);
  GroupBox1->setGeometry(onCanvas(38, 63, 505, 162));
  lblUrl = label(GroupBox1, "URL:", 25, 43);
  edtUrl = new QLineEdit(GroupBox1);
  edtUrl->setGeometry(54, 40, 334, 21);
  btnPaste = button(GroupBox1, "Paste URL", 414, 40, 75, 25);
  lblOutput = label(GroupBox1, "Output Directory:", 24, 78);
  lblOutDir = new LinkLabel(GroupBox1);
  lblOutDir->setObjectName(QStringLiteral("lblOutDir"));
  lblOutDir->setText(QStringLiteral("output"));
  lblOutDir->setLink(QStringLiteral("/"));
  lblOutDir->setWordWrap(true);
  lblOutDir->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblOutDir->setGeometry(115, 74, 282, 40);
  lblOutDir->setOpener(OpenFolder);
  btnOutput = button(GroupBox1, "Change..", 414, 76, 75, 25);
  chkConvert = new QCheckBox(QStringLiteral("Convert to:"), GroupBox1);
  chkConvert->move(24, 120);
  chkConvert->adjustSize();
  cmbFormat = dropDown(GroupBox1,
                       {QStringLiteral("iPad (.mp4)"), QStringLiteral("iPod (.mov)"),
                        QStringLiteral("iPhone (.mp4)"), QStringLiteral("PSP (.mp4)"),
                        QStringLiteral("Cell Phone (.3gp)"), QStringLiteral("MP3 (.mp3)"),
                        QStringLiteral("AVI (.avi)"), QStringLiteral("WMV (.wmv)")},
                       109, 120, 127, 21);
  Label3 = label(GroupBox1, "Priority:", 256, 120);
  cmbPriority = dropDown(
      GroupBox1,
      {QStringLiteral("Quality First"), QStringLiteral("Both"), QStringLiteral("Time First")}, 312,
      120, 91, 21);

  btnGo = button(canvas, "Download and Convert", 0, 0, 144, 51);
  btnGo->setGeometry(onCanvas(399, 247, 144, 51));
  btnGo->setObjectName(QStringLiteral("btnGo"));

  lsvList = new QTableView(canvas);
  lsvList->setObjectName(QStringLiteral("lsvList"));
  lsvList->setModel(missions_);
  lsvList->setItemDelegate(new ProgressDelegate(lsvList));
  lsvList->setSelectionBehavior(QAbstractItemView::SelectRows);
  lsvList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lsvList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Tab moves on to the buttons, not from cell to cell; arrows walk the rows.
  lsvList->setTabKeyNavigation(false);
  lsvList->setSortingEnabled(false);
  lsvList->setShowGrid(false);
  lsvList->setWordWrap(false);
  lsvList->verticalHeader()->hide();
  lsvList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  lsvList->verticalHeader()->setDefaultSectionSize(18);
  lsvList->horizontalHeader()->setHighlightSections(false);
  lsvList->horizontalHeader()->setStretchLastSection(false);
  for (int c = 0; c < ColumnCount; ++c) lsvList->setColumnWidth(c, MissionModel::columnWidth(c));
  lsvList->setGeometry(onCanvas(38, 322, 505, 261));

  btnClear = button(canvas, "Clear", 38 - kCanvasLeft, 608 - kCanvasTop, 75, 25);
  btnRemove = button(canvas, "Remove", 145 - kCanvasLeft, 608 - kCanvasTop, 75, 25);
  btnRemove->setEnabled(false);
  btnReset = button(canvas, "Reset", 257 - kCanvasLeft, 608 - kCanvasTop, 75, 25);
  btnReset->setEnabled(false);
  btnStop = button(canvas, "Stop", 366 - kCanvasLeft, 608 - kCanvasTop, 75, 25);
  btnStop->setEnabled(false);
  btnAbout = button(canvas, "About..", 468 - kCanvasLeft, 608 - kCanvasTop, 75, 25);
  btnTest = button(canvas, "Test", 145 - kCanvasLeft, 639 - kCanvasTop, 75, 25);
  btnTest->hide();
  btnLoad = button(canvas, "Load..", 257 - kCanvasLeft, 639 - kCanvasTop, 75, 25);
  btnLoad->hide();
  scroller->setOnResize([this](const QSize& size) { placeWithCanvas(size); });

  ppmTray = new QMenu(this);
  Show1 = ppmTray->addAction(QStringLiteral("&Show"));
  Exit1 = ppmTray->addAction(QStringLiteral("&Exit"));
  connect(Show1, &QAction::triggered, this, &TfrmMain::Show1Click);
  connect(Exit1, &QAction::triggered, this, &TfrmMain::Exit1Click);

  connect(btnPaste, &QPushButton::clicked, this, &TfrmMain::btnPasteClick);
  connect(btnOutput, &QPushButton::clicked, this, &TfrmMain::suitempbtnOutputClick);
  connect(btnGo, &QPushButton::clicked, this, &TfrmMain::btnGoClick);
  connect(btnClear, &QPushButton::clicked, this, &TfrmMain::suitempbtnClearClick);
  connect(btnRemove, &QPushButton::clicked, this, &TfrmMain::suitempbtnRemoveClick);
  connect(btnReset, &QPushButton::clicked, this, &TfrmMain::btnResetClick);
  connect(btnStop, &QPushButton::clicked, this, &TfrmMain::suitempbtnStopClick);
  connect(btnAbout, &QPushButton::clicked, this, &TfrmMain::btnAboutClick);
  connect(btnLoad, &QPushButton::clicked, this, &TfrmMain::suitempbtnLoadClick);
  connect(lsvList, &QTableView::clicked, this, &TfrmMain::lsvListClick);
  connect(edtUrl, &QLineEdit::returnPressed, this, &TfrmMain::btnGoClick);
  connect(missions_, &MissionModel::statusChanged, this, &TfrmMain::MissionStatusChanged);
  connect(missions_, &MissionModel::statusChanged, this, &TfrmMain::RememberDownload);
  signIn_ = new SignInAsker(*this);
  auto* settingsKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma), this);
  connect(settingsKey, &QShortcut::activated, this, &TfrmMain::OpenSettings);
  sufMain->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(sufMain, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { ShowWindowMenu(sufMain->mapToGlobal(at)); });
  connect(missions_, &MissionModel::statusChanged, signIn_, &SignInAsker::MissionStatusChanged,
          Qt::QueuedConnection);
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
    if (s == Qt::ApplicationActive) ApplicationEvents1Activate();
  });
}

void TfrmMain::FormCreate() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect placed =
      MainWindowGeometry(screen->geometry(), screen->availableGeometry(), DebugMode ? 543 : 0);
  setFixedSize(placed.size());
  move(placed.topLeft());
  fitToWindow();
}

void TfrmMain::resizeEvent(QResizeEvent* event) {
  fitToWindow();
  QWidget::resizeEvent(event);
}

void TfrmMain::fitToWindow() {
  sufMain->setGeometry(0, 0, width(), height());
  scroller->place(
      QRect(kCanvasLeft, kCanvasTop, width() - 2 * kCanvasLeft, height() - kCanvasTop - 1));
}

void TfrmMain::placeWithCanvas(const QSize& canvas) {
  // Anchored to all four sides; never wider than designed.
  lsvList->setGeometry(kListLeft, kListTop,
                       std::min(kListWidth, canvas.width() - kListLeft - kListRightMargin),
                       canvas.height() - kListTop - kListBottomMargin);
  // Below the list, kept at their distance from the bottom edge.
  for (QPushButton* b : {btnClear, btnRemove, btnReset, btnStop, btnAbout})
    b->move(b->x(), canvas.height() - kButtonRowBottom);
  for (QPushButton* b : {btnTest, btnLoad})
    b->move(b->x(), canvas.height() - kSecondButtonRowBottom);
}

void TfrmMain::btnAboutClick() {
  frmAbout->exec();
}

void TfrmMain::sufMainTitleBarHelpBtnClick() {
  OpenWebPage(QString::fromUtf8(kHomePageAddress));
}

void TfrmMain::Exit1Click() {
  close();
}

void TfrmMain::WriteReport(const std::string& text) {
  AppendToReport(text);
}
void TfrmMain::WriteLog(const std::string& text) {
  AppendToLog(text);
}

std::string TfrmMain::ProgramDir() const {
  return Paths.appDir;
}
std::string TfrmMain::OutputDir() const {
  return Paths.outputDir;
}

int TfrmMain::DownloadLimit() const {
  return frmDebug ? frmDebug->speDownCounter->value() : 1;
}
int TfrmMain::ConvertLimit() const {
  return frmDebug ? frmDebug->speConvertCounter->value() : 1;
}
std::string TfrmMain::SpeedLimit() const {
  return ini_ ? ini_->ReadString(IniKeys::Config, IniKeys::SpeedLimit, "") : "";
}

std::vector<std::string> TfrmMain::SignInArguments(const std::string& url) const {
  return ini_ ? quillmarsh::SignInArguments(*ini_, url) : std::vector<std::string>{};
}

void TfrmMain::ShowWindowMenu(const QPoint& globalPosition) {
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->addAction(QStringLiteral("Settings…"), QKeySequence(Qt::CTRL | Qt::Key_Comma), this,
                  &TfrmMain::OpenSettings);
  menu->popup(globalPosition);
}

void TfrmMain::OpenSettings() {
  if (ini_ && !closing_) ShowSettings(*ini_, this, [this] { ForgetDownloadHistory(); });
}

void TfrmMain::SetDownloadingButtons() {
  btnStop->setEnabled(true);
  btnReset->setEnabled(false);
  btnRemove->setEnabled(false);
  btnClear->setEnabled(false);
}

void TfrmMain::RepaintList() {
  lsvList->viewport()->update();
}

void TfrmMain::guarded(const std::function<void()>& action) {
  try {
    action();
  } catch (const IniWriteError& e) {
    // The general error handler: the operation ends, the user sees why.
    ShowMessageBox(QString::fromUtf8(kAppTitle), QString::fromUtf8(e.what()), MsgKind::Error, mbOK);
  }
}

// Nothing starts once a close has been confirmed, whichever path asks: a
// worker's last hand-over, or a handler that a message box held while a
// shutdown signal closed the program.
void TfrmMain::StartDownload() {
  if (!closing_) StartWaitingDownloads(*this);
}

void TfrmMain::StartWaitingWork() {
  guarded([this] {
    StartDownload();
    StartConvert();
  });
}

void TfrmMain::StartConvert() {
  if (!closing_) StartWaitingConversions(*this);
}

}  // namespace quillmarsh
