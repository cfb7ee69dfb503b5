#pragma once

#include <string>
#include <string_view>

namespace tarnfetch {

// A title as it may be shown and used in a name: valid UTF-8 (stray bytes
// become U+FFFD); bidirectional controls, which can make "gpj.exe" read as
// "exe.jpg", and C1 controls removed; other control characters and runs
// of blanks made one blank; no blanks at either end. May be empty.
std::string CleanTitle(std::string_view text);

}  // namespace tarnfetch
