#pragma once
// The Qt application object tests need for hand-overs to the user-interface
// thread, and a way to let its event loop run while a test waits.

#include <chrono>
#include <functional>
#include <string>

class QCoreApplication;

// Creates the application object on first use, on the calling (main)
// thread, and keeps it for the rest of the test program. With `gui` a
// QApplication is made (QT_QPA_PLATFORM=offscreen is set by CTest).
QCoreApplication& EnsureQtApp(bool gui = false);

// Runs the event loop (deferred deletions included) until `done` holds or
// `timeout` passes. Returns the last value of `done`.
bool SpinUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Runs the event loop for `duration`.
void SpinFor(std::chrono::milliseconds duration);

// Path of a helper program built from tests/tools/<name>.cpp.
std::string TestToolPath(const std::string& name);
