#pragma once
// One running instance per logon: an exclusive flock on a lock file named
// after `name`. The kernel drops the lock when the process ends, however it
// ends, so a crashed instance never blocks the next start.

#include <string>

namespace quillmarsh {

// The name Quillmarsh's lock and hand-off socket go by.
inline constexpr char kInstanceName[] = "qlmsh";

class SingleInstance {
 public:
  explicit SingleInstance(const std::string& name);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // False when another process holds the lock.
  bool acquired() const { return fd_ >= 0; }
  // $XDG_RUNTIME_DIR/<name>.lock, else <temp>/<name>-<uid>.lock.
  static std::string LockPath(const std::string& name);
  // Where the running instance takes addresses from other processes:
  // beside the lock, as <name>.socket.
  static std::string SocketPath(const std::string& name);

 private:
  int fd_ = -1;
};

}  // namespace quillmarsh
