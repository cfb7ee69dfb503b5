// Runs the real entry sequence with test hooks: message boxes are answered
// and printed instead of shown, and the program can quit once its main
// window is up.
//   quillmarsh_probe [--debug] [--answer yes|no] [--quit-when-shown]
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/pasEntry.h"
#include "app/pasGlobal.h"
#include "app/pasMain.h"
#include "ui/pasSuiAppend.h"

int main(int argc, char** argv) {
  bool quitWhenShown = false;
  int answer = mrYes;
  std::vector<char*> qtArgs{argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--debug")) {
      DebugMode = true;
    } else if (!std::strcmp(argv[i], "--quit-when-shown")) {
      quitWhenShown = true;
    } else if (!std::strcmp(argv[i], "--answer") && i + 1 < argc) {
      answer = std::strcmp(argv[++i], "no") == 0 ? mrNo : mrYes;
    } else {
      qtArgs.push_back(argv[i]);
    }
  }
  qtArgs.push_back(nullptr);

  SetMessageBoxAnswerer([answer](const MessageBoxRequest& r) {
    std::printf("BOX\t%s\t%s\n", r.caption.toUtf8().constData(), r.message.toUtf8().constData());
    std::fflush(stdout);
    return (r.buttons & mbYes) ? answer : int(mrOk);
  });
  SetEntryHooks({[quitWhenShown](TfrmMain& w) {
    std::printf("SHOWN\t%s\n", w.windowTitle().toUtf8().constData());
    std::fflush(stdout);
    if (quitWhenShown) QTimer::singleShot(0, qApp, &QCoreApplication::quit);
  }});
  int qtArgc = static_cast<int>(qtArgs.size()) - 1;
  const int status = RunQuillmarsh(qtArgc, qtArgs.data());
  std::printf("EXIT\t%d\n", status);
  std::fflush(stdout);
  return status;
}
