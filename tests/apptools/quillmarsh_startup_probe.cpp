// Runs the real entry sequence and reports how far start-up has come:
// "SHOWN" once the main window has been shown, "PAINTED" once the mission
// list has been painted for the first time; then it quits through the
// ordinary close sequence. Message boxes are printed ("BOX ...") and
// answered with Yes (the close confirmation) or OK. Used by the start-up
// benchmark, which times these lines from the outside.
#include <QApplication>
#include <QEvent>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <string>

#include "app/pasEntry.h"
#include "app/pasMain.h"
#include "ui/MessageBox.h"

using namespace quillmarsh;

namespace {
void printLine(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

// Quits right after the first paint of the watched widget has finished.
class FirstPaint : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      watched->removeEventFilter(this);
      // Queued, so the line comes after the paint the event starts.
      QTimer::singleShot(0, qApp, [] {
        printLine("PAINTED");
        QCoreApplication::quit();
      });
    }
    return false;
  }

 private:
  bool seen_ = false;
};
}  // namespace

int main(int argc, char** argv) {
  SetMessageBoxAnswerer([](const MessageBoxRequest& r) {
    printLine("BOX\t" + r.caption.toStdString() + "\t" + r.message.toStdString());
    return (r.buttons & mbYes) ? int(mrYes) : int(mrOk);
  });
  SetEntryHooks({[](TfrmMain& w) {
    printLine("SHOWN\t" + std::to_string(w.Missions().count()));
    w.lsvList->viewport()->installEventFilter(new FirstPaint(&w));
  }});
  const int status = RunQuillmarsh(argc, argv);
  printLine("EXIT\t" + std::to_string(status));
  return status;
}
