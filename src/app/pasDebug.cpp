#include "app/pasDebug.h"

#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>

#include "app/MainWindowPlacement.h"
#include "app/pasGlobal.h"

#include "ui/UiFont.h"

namespace quillmarsh {

TfrmDebug* frmDebug = nullptr;

namespace {
QPlainTextEdit* makePane(QWidget* parent, int x, int y, int w, int h) {
  auto* pane = new QPlainTextEdit(parent);
  pane->setGeometry(x, y, w, h);
  pane->setLineWrapMode(QPlainTextEdit::NoWrap);
  pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  return pane;
}

QSpinBox* makeLimit(QWidget* parent, int x) {
  auto* spin = new QSpinBox(parent);
  // Wide enough for two digits beside the arrows.
  spin->setGeometry(x, 512, 56, 22);
  // Below 1 nothing would ever start again, without a word; far above the
  // machine's cores the children only slow each other down.
  spin->setRange(kMinWorkerLimit, kMaxWorkerLimit);
  spin->setValue(1);
  return spin;
}

QString toQ(const std::string& s) {
  return QString::fromUtf8(s.data(), qsizetype(s.size()));
}
}  // namespace

TfrmDebug::TfrmDebug(QWidget* mainWindow) : QWidget(nullptr) {
  setObjectName(QStringLiteral("frmDebug"));
  setWindowTitle(QStringLiteral("Debug"));
  setFont(UiFont(11));
  setFixedSize(527, 644);

  memLog = makePane(this, 32, 24, 465, 225);
  memReport = makePane(this, 32, 272, 465, 193);
  Label1 = new QLabel(QStringLiteral("Down Thread:"), this);
  Label1->move(32, 512);
  speDownCounter = makeLimit(this, 120);
  Label2 = new QLabel(QStringLiteral("Convert Thread:"), this);
  Label2->move(216, 512);
  speConvertCounter = makeLimit(this, 312);
  btnClose = new QPushButton(QStringLiteral("Close"), this);
  btnClose->setGeometry(224, 576, 75, 25);
  connect(btnClose, &QPushButton::clicked, this, &TfrmDebug::btnCloseClick);

  FormCreate(mainWindow);
}

void TfrmDebug::FormCreate(QWidget* mainWindow) {
  const QScreen* screen =
      mainWindow->screen() ? mainWindow->screen() : QGuiApplication::primaryScreen();
  move(DiagnosticsWindowGeometry(mainWindow->frameGeometry(), size(), screen->availableGeometry())
           .topLeft());
}

void TfrmDebug::btnCloseClick() {
  close();
}

bool TfrmDebug::AppendAndMirror(QPlainTextEdit* pane, const QString& line,
                                const std::string& file) {
  pane->appendPlainText(line);
  QString all = pane->toPlainText();
  all.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  all += QStringLiteral("\r\n");
  QFile out(toQ(file));
  if (file.empty() || !out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  const QByteArray bytes = all.toUtf8();
  return out.write(bytes) == bytes.size() && out.flush();
}

std::string ReportLine(const std::string& text) {
  const QString stamp =
      QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss:zzz yyyy/MM/dd"));
  return "[ " + stamp.toStdString() + " ] " + text;
}

void AppendToReport(const std::string& text) {
  if (!DebugMode || !frmDebug) return;
  TfrmDebug::AppendAndMirror(frmDebug->memReport, toQ(ReportLine(text)), Paths.reportFile);
}

void AppendToLog(const std::string& text) {
  if (!DebugMode || !frmDebug) return;
  TfrmDebug::AppendAndMirror(frmDebug->memLog, toQ("{" + text + "}"), Paths.logFile);
}

}  // namespace quillmarsh
