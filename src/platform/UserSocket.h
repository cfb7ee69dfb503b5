#pragma once
// Unix stream sockets that only this user can reach. The listening side
// makes its socket mode 0600 and replaces one a crashed run left behind;
// the connecting side talks only to a socket of this user, mode 0600,
// served by a process of this user. Plain POSIX.

#include <string>

namespace quillmarsh {

// A non-blocking, close-on-exec socket listening at `path`, or -1 and
// `error`. Only the holder of the single-instance lock listens there, so a
// socket of this user found at `path` is stale and is replaced; anything
// else there (a file, a link, another user's socket) is refused.
int ListenUserSocket(const std::string& path, std::string& error);

struct UserSocketConnection {
  int fd = -1;                 // connected when >= 0; the caller closes it
  bool nobodyListens = false;  // no socket there, or no one behind it (yet)
  std::string error;           // why not
};
UserSocketConnection ConnectUserSocket(const std::string& path);

// True when the process at the other end of `fd` runs as this user.
bool PeerIsThisUser(int fd);

}  // namespace quillmarsh
