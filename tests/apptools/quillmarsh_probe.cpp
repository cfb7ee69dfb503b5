// Runs the real entry sequence with test hooks: message boxes are answered
// and printed instead of shown, rows are printed as they change, and
// addresses can be added through the URL box once the window is up.
//   quillmarsh_probe [--debug] [--answer yes|no] [--quit-when-shown]
//                    [--convert FORMAT] [--add URL]... [--close-after MS]
//                    [--print-geometry] [--on TEXT pause|resume|close]...
//                    [--think MS]
// --print-geometry prints "GEOMETRY <window inside the available area>
// <Stop button on the window unscrolled> <list height> <every control
// reachable by scrolling>" (1 or 0 but for the height).
// --on acts on row 0 (selected) the first time a row line holds TEXT.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/pasEntry.h"
#include "app/pasGlobal.h"
#include "app/pasMain.h"
#include "ui/MessageBox.h"
#include "ui/ScrollCanvas.h"

using namespace quillmarsh;

namespace {
struct Options {
  bool quitWhenShown = false;
  int closeAfterMs = -1;  // closes the main window, as the user would
  int answer = mrYes;
  int thinkMs = 0;  // each box stays open this long, its event loop running
  QString convertFormat;
  QStringList add;
  bool printGeometry = false;
  std::vector<std::pair<std::string, std::string>> on;  // text, action
};

// Row lines feed the --on actions; set once the window is up.
std::function<void(const std::string&)> rowLineSeen;

void printLine(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
  if (rowLineSeen && line.rfind("ROW\t", 0) == 0) rowLineSeen(line);
}

// Scrolls to every control the user can work and tells whether it then lies
// within the visible part (the list: its first rows).
bool everyControlReachable(TfrmMain& w) {
  QWidget* view = w.scroller->viewport();
  for (QWidget* c : w.scroller->canvas()->findChildren<QWidget*>()) {
    const bool control = qobject_cast<QAbstractButton*>(c) || qobject_cast<QLineEdit*>(c) ||
                         qobject_cast<QComboBox*>(c) || c == w.lsvList;
    if (!control || !c->isVisibleTo(&w) || w.lsvList->isAncestorOf(c)) continue;
    w.scroller->ensureWidgetVisible(c, 0, 0);
    const QRect shown(c->mapTo(view, QPoint()), c->size());
    const QRect needed = c == w.lsvList ? QRect(shown.topLeft(), QSize(100, 60)) : shown;
    if (!view->rect().contains(needed)) return false;
  }
  w.scroller->ensureVisible(0, 0);
  return true;
}

void printGeometry(TfrmMain& w) {
  QCoreApplication::processEvents();
  const bool inside = w.screen()->availableGeometry().contains(w.frameGeometry());
  const bool stopShown =
      w.rect().contains(QRect(w.btnStop->mapTo(&w, QPoint()), w.btnStop->size()));
  printLine("GEOMETRY\t" + std::to_string(inside) + "\t" + std::to_string(stopShown) + "\t" +
            std::to_string(w.lsvList->height()) + "\t" + std::to_string(everyControlReachable(w)));
}

// Runs each --on action once, later in the event loop, on row 0.
void watchActions(TfrmMain& w, const Options& o) {
  auto done = std::make_shared<std::vector<bool>>(o.on.size());
  rowLineSeen = [&w, &o, done](const std::string& line) {
    for (std::size_t i = 0; i < o.on.size(); ++i) {
      if ((*done)[i] || line.find(o.on[i].first) == std::string::npos) continue;
      (*done)[i] = true;
      const std::string action = o.on[i].second;
      QTimer::singleShot(0, &w, [&w, action] {
        w.lsvList->selectRow(0);
        if (action == "pause") w.PauseSelectedRows();
        if (action == "resume") w.ResumeSelectedRows();
        if (action == "close") w.close();
      });
    }
  };
}

// Prints "ROW <index> <status> <progress> <caption>" whenever one changes,
// and "WHY <index> <tooltip>" when the Progress cell's tooltip explains more
// than its status.
void watchRows(TfrmMain& w) {
  auto last = std::make_shared<std::vector<std::string>>();
  auto lastWhy = std::make_shared<std::vector<std::string>>();
  auto print = [&w, last, lastWhy](int first, int lastRow) {
    MissionModel& m = w.Missions();
    if (static_cast<int>(last->size()) < m.count()) last->resize(m.count());
    if (static_cast<int>(lastWhy->size()) < m.count()) lastWhy->resize(m.count());
    for (int r = first; r <= lastRow && r < m.count(); ++r) {
      std::string line = "ROW\t" + std::to_string(r) + "\t" + m.status(r) + "\t" +
                         std::to_string(m.record(r).progress) + "\t" + m.caption(r);
      if ((*last)[r] != line) printLine(line);
      (*last)[r] = line;
      const QModelIndex cell = w.lsvList->model()->index(r, ColProgress);
      std::string why = cell.data(Qt::ToolTipRole).toString().toStdString();
      if (why == m.status(r)) why.clear();
      if ((*lastWhy)[r] != why && !why.empty()) printLine("WHY\t" + std::to_string(r) + "\t" + why);
      (*lastWhy)[r] = why;
    }
  };
  MissionModel& m = w.Missions();
  QObject::connect(
      &m, &MissionModel::dataChanged, &w,
      [print](const QModelIndex& a, const QModelIndex& b) { print(a.row(), b.row()); });
  QObject::connect(&m, &MissionModel::rowsInserted, &w,
                   [print](const QModelIndex&, int a, int b) { print(a, b); });
  print(0, m.count() - 1);
}

void addThroughTheWindow(TfrmMain& w, const Options& o) {
  if (!o.convertFormat.isEmpty()) {
    w.chkConvert->setChecked(true);
    w.cmbFormat->setCurrentText(o.convertFormat);
  }
  for (const QString& url : o.add) {
    w.edtUrl->setText(url);
    w.btnGo->click();
  }
}
}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::vector<char*> qtArgs{argv[0]};
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (!std::strcmp(argv[i], "--debug")) {
      DebugMode = true;
    } else if (!std::strcmp(argv[i], "--quit-when-shown")) {
      o.quitWhenShown = true;
    } else if (!std::strcmp(argv[i], "--close-after") && hasValue) {
      o.closeAfterMs = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--think") && hasValue) {
      o.thinkMs = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--answer") && hasValue) {
      o.answer = std::strcmp(argv[++i], "no") == 0 ? mrNo : mrYes;
    } else if (!std::strcmp(argv[i], "--convert") && hasValue) {
      o.convertFormat = QString::fromUtf8(argv[++i]);
    } else if (!std::strcmp(argv[i], "--add") && hasValue) {
      o.add << QString::fromUtf8(argv[++i]);
    } else if (!std::strcmp(argv[i], "--print-geometry")) {
      o.printGeometry = true;
    } else if (!std::strcmp(argv[i], "--on") && i + 2 < argc) {
      o.on.emplace_back(argv[i + 1], argv[i + 2]);
      i += 2;
    } else {
      qtArgs.push_back(argv[i]);
    }
  }
  qtArgs.push_back(nullptr);

  SetMessageBoxAnswerer([answer = o.answer, think = o.thinkMs](const MessageBoxRequest& r) {
    printLine("BOX\t" + r.caption.toStdString() + "\t" + r.message.toStdString());
    if (think > 0) {
      QEventLoop open;
      QTimer::singleShot(think, &open, &QEventLoop::quit);
      open.exec();
    }
    return (r.buttons & mbYes) ? answer : int(mrOk);
  });
  SetEntryHooks({[&o](TfrmMain& w) {
    printLine("SHOWN\t" + w.windowTitle().toStdString());
    if (o.printGeometry) printGeometry(w);
    watchActions(w, o);
    watchRows(w);
    if (o.quitWhenShown) QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    if (!o.add.isEmpty()) QTimer::singleShot(0, &w, [&w, &o] { addThroughTheWindow(w, o); });
    if (o.closeAfterMs >= 0) QTimer::singleShot(o.closeAfterMs, &w, &QWidget::close);
  }});
  int qtArgc = static_cast<int>(qtArgs.size()) - 1;
  const int status = RunQuillmarsh(qtArgc, qtArgs.data());
  printLine("EXIT\t" + std::to_string(status));
  return status;
}
