#pragma once
// Where a helper program lies; the one rule quillmarsh and tarnfetch share.
// Plain C++.

#include <string>

namespace quillmarsh {

// `name` in the application folder first, then in the folders of
// `searchPath` (a colon-separated list such as $PATH; may be null). Only
// absolute folders count: an empty or relative entry would mean the current
// folder, which a file planted there must never win. A candidate counts when
// it is a regular file this user may execute. Empty when there is none.
std::string FindProgram(const std::string& name, const std::string& appDir, const char* searchPath);

// The folder of the running program, without a trailing "/"; empty when
// the system does not say.
std::string OwnProgramFolder();
// The running program's own file; empty when it cannot be told.
std::string OwnProgramPath();

}  // namespace quillmarsh
