#pragma once
// The one way tests, benchmarks and fuzz targets make the Qt application
// object that hand-overs to the user-interface thread need, and a way to
// let its event loop run while a test waits.

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <string>

namespace quillmarsh {

// Arguments the application object keeps for its whole life.
int& QtTestArgc();
char** QtTestArgv();

// Creates the application object on first use, on the calling (main)
// thread, and keeps it for the rest of the program. Window tests ask for a
// QApplication (QT_QPA_PLATFORM=offscreen is set by CTest); everything
// else gets a QCoreApplication, so that the core's tests need no widgets.
template <typename App = QCoreApplication>
QCoreApplication& EnsureQtApp() {
  if (QCoreApplication* app = QCoreApplication::instance()) return *app;
  return *new App(QtTestArgc(), QtTestArgv());
}

// Runs the event loop (deferred deletions included) until `done` holds or
// `timeout` passes. Returns the last value of `done`.
bool SpinUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Runs the event loop for `duration`.
void SpinFor(std::chrono::milliseconds duration);

// Path of a helper program built from tests/tools/<name>.cpp.
std::string TestToolPath(const std::string& name);

}  // namespace quillmarsh
