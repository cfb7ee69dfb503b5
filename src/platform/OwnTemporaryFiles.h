#pragma once
// Temporary files that this program makes beside a file it is writing
// (a conversion's output), and the journal that remembers them, so that
// what a crash left is removed at the next start and nothing else is: a
// file is removed only while it is still the very file that was made (same
// device and inode), so a user's file of the same name is never touched.
//
// Any thread; the journal is guarded by one process-wide lock. An empty
// journal path keeps no journal.

#include <string>

namespace quillmarsh {

// Creates "<target>.<six random characters>.part" exclusively (never an
// existing file) with the mode a new file of the user gets, and notes it in
// the journal. Returns its path, or empty with `error` set.
std::string CreateOwnTemporary(const std::string& target, const std::string& journal,
                               std::string* error);

// Takes the file off the journal; removes it first when `remove` is set
// (and it is still the file that was made).
void ReleaseOwnTemporary(const std::string& path, const std::string& journal, bool remove);

// At start-up: removes every file the journal names that is still the one
// made, then empties the journal. Returns how many were removed.
int RemoveStaleOwnTemporaries(const std::string& journal);

}  // namespace quillmarsh
