#include "platform/UserSocket.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quillmarsh {

namespace {
bool ToAddress(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

std::string SystemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// Binds a new socket at `path` with mode 0600 from the start: it is made in
// a private folder beside `path` and renamed into place.
int BindPrivately(const std::string& path, std::string& error) {
  std::string folder = path + ".XXXXXX";
  if (!::mkdtemp(folder.data())) return error = SystemError("cannot create " + folder), -1;
  const std::string inside = folder + "/s";
  sockaddr_un address;
  int fd = -1;
  if (!ToAddress(inside, address)) {
    error = "the socket path is too long: " + path;
  } else if ((fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) < 0 ||
             ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
             ::chmod(inside.c_str(), 0600) != 0 || ::rename(inside.c_str(), path.c_str()) != 0) {
    error = SystemError("cannot listen at " + path);
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  ::unlink(inside.c_str());
  ::rmdir(folder.c_str());
  return fd;
}

bool IsOwnSocket(const struct stat& st) {
  return S_ISSOCK(st.st_mode) && st.st_uid == ::geteuid();
}
}  // namespace

int ListenUserSocket(const std::string& path, std::string& error) {
  if (sockaddr_un address; !ToAddress(path + ".XXXXXX/s", address))
    return error = "the socket path is too long: " + path, -1;
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) {
    if (!IsOwnSocket(st)) return error = "something else is in the way at " + path, -1;
    ::unlink(path.c_str());
  }
  const int fd = BindPrivately(path, error);
  if (fd >= 0 && ::listen(fd, 16) != 0) {
    error = SystemError("cannot listen at " + path);
    ::close(fd);
    return -1;
  }
  return fd;
}

UserSocketConnection ConnectUserSocket(const std::string& path) {
  UserSocketConnection c;
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    c.nobodyListens = errno == ENOENT;
    c.error = SystemError("cannot reach " + path);
    return c;
  }
  if (!IsOwnSocket(st) || (st.st_mode & 077) != 0) {
    c.error = path + " is not a socket of this user with mode 0600";
    return c;
  }
  sockaddr_un address;
  if (!ToAddress(path, address)) return c.error = "the socket path is too long: " + path, c;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    c.nobodyListens = errno == ECONNREFUSED || errno == ENOENT;
    c.error = SystemError("cannot reach " + path);
    if (fd >= 0) ::close(fd);
    return c;
  }
  if (!PeerIsThisUser(fd)) {
    ::close(fd);
    c.error = "the process behind " + path + " runs as another user";
    return c;
  }
  c.fd = fd;
  return c;
}

bool PeerIsThisUser(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

}  // namespace quillmarsh
