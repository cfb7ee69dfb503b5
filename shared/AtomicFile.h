#pragma once
// Whole-file replacement that a crash or a full disk cannot leave half done.

#include <string>
#include <string_view>

#include "shared/RegularFile.h"

namespace quillmarsh {

// Writes all of `content` at the descriptor's position; false (errno set)
// when a write fails.
bool WriteAll(int fd, std::string_view content);

// Writes `content` to a temporary file beside `path`, flushes it to disk and
// renames it over `path`. Returns false with errno set when any step fails;
// the previous file is then untouched and the temporary file removed. A
// file the user may not write (made read-only) is refused, not replaced.
// A link at `path` is followed (Links::Follow: the file it points to is
// replaced) or replaced itself (Links::Refuse). A device, FIFO or folder is
// never replaced: false with errno EEXIST or EISDIR.
bool WriteFileAtomically(const std::string& path, std::string_view content,
                         Links links = Links::Follow);

// Removes the temporary files ("<name>.tmp-*") that a save interrupted by a
// crash left beside `path`.
void RemoveAtomicTemporaries(const std::string& path);

}  // namespace quillmarsh
