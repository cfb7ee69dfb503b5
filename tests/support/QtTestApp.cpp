#include "QtTestApp.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <cstdlib>

namespace {
// QCoreApplication keeps references to these for its whole life.
int gArgc = 1;
char gProgramName[] = "quillmarsh-test";
char* gArgv[] = {gProgramName, nullptr};
}  // namespace

QCoreApplication& EnsureQtApp(bool gui) {
  if (QCoreApplication* app = QCoreApplication::instance()) return *app;
  if (gui) return *new QApplication(gArgc, gArgv);
  return *new QCoreApplication(gArgc, gArgv);
}

bool SpinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QThread::msleep(1);
  }
}

void SpinFor(std::chrono::milliseconds duration) {
  SpinUntil([] { return false; }, duration);
}

std::string TestToolPath(const std::string& name) {
  const char* dir = std::getenv("QM_TEST_TOOLS_DIR");
  return std::string(dir && *dir ? dir : QM_TEST_TOOLS_DIR) + "/" + name;
}
