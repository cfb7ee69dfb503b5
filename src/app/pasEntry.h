#pragma once
// The entry sequence: single instance, windows, InitMain, message loop.

#include <functional>

namespace quillmarsh {

class TfrmMain;

// Test programs watch the entry sequence through these.
struct EntryHooks {
  std::function<void(TfrmMain&)> mainWindowShown;
};
void SetEntryHooks(EntryHooks hooks);

int RunQuillmarsh(int argc, char** argv);

// Ends every worker and its child before the windows go.
void ShutDownWorkers(TfrmMain& main);

}  // namespace quillmarsh
