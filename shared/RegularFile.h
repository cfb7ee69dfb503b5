#pragma once
// Reading and opening files that must be plain files: a FIFO, device,
// folder or socket put in their place neither blocks nor feeds the
// program, and a file of the program's own is never reached through a
// link someone planted.

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>

namespace quillmarsh {

enum class Links {
  Follow,  // a link the user made on purpose (a settings file, a list)
  Refuse,  // a file of the program's own: a link there is not followed
};

// The whole of a regular file of at most `maxBytes`; nullopt when it is
// missing, larger, not a regular file, or (Links::Refuse) a link.
std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t maxBytes,
                                           Links links);

// Opens a file of the program's own for reading and writing, making it
// when missing, never through a link. Whatever else stands at its place (a
// link, FIFO, socket) is removed first. -1 with errno set when it cannot
// be opened as a regular file.
int OpenOwnFile(const std::string& path, mode_t mode);

}  // namespace quillmarsh
