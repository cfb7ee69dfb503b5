#pragma once
// Whole-file replacement that a crash or a full disk cannot leave half done.

#include <string>
#include <string_view>

namespace quillmarsh {

// Writes `content` to a temporary file beside `path`, flushes it to disk and
// renames it over `path`. Returns false with errno set when any step fails;
// the previous file is then untouched and the temporary file removed. A
// file the user may not write (made read-only) is refused, not replaced.
bool WriteFileAtomically(const std::string& path, std::string_view content);

// Removes the temporary files ("<name>.tmp-*") that a save interrupted by a
// crash left beside `path`.
void RemoveAtomicTemporaries(const std::string& path);

}  // namespace quillmarsh
