#include "support/QtTestApp.h"

#include <QEvent>
#include <QThread>
#include <cstdlib>

namespace quillmarsh {

int& QtTestArgc() {
  static int argc = 1;
  return argc;
}

char** QtTestArgv() {
  static char programName[] = "quillmarsh-test";
  static char* argv[] = {programName, nullptr};
  return argv;
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

}  // namespace quillmarsh
