#include "shared/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace quillmarsh {
namespace {

// O_NONBLOCK: opening a FIFO that no one writes returns at once.
constexpr int kPlainOpen = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// Devices are not even opened: opening some has effects of its own.
bool NothingElseThere(const std::string& path, Links links) {
  struct stat info {};
  const int found =
      links == Links::Follow ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info);
  return found != 0 || S_ISREG(info.st_mode) || S_ISLNK(info.st_mode);
}

bool IsRegular(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

// A regular file opened without blocking reads as any other, but later
// reads should wait for a slow disk like a plain read does.
void Block(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

}  // namespace

std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t maxBytes,
                                           Links links) {
  if (!NothingElseThere(path, links)) return std::nullopt;
  const int fd =
      ::open(path.c_str(), O_RDONLY | kPlainOpen | (links == Links::Refuse ? O_NOFOLLOW : 0));
  if (fd < 0) return std::nullopt;
  std::optional<std::string> text;
  if (IsRegular(fd)) {
    Block(fd);
    std::string read;
    char buffer[1 << 16];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 || static_cast<std::size_t>(n) > maxBytes - read.size()) break;
      if (n == 0) {
        text = std::move(read);
        break;
      }
      read.append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return text;
}

int OpenOwnFile(const std::string& path, mode_t mode) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    struct stat there {};
    const bool clear = NothingElseThere(path, Links::Refuse);
    const int fd =
        !clear ? -1 : ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | kPlainOpen, mode);
    if (fd >= 0 && IsRegular(fd)) {
      Block(fd);
      return fd;
    }
    const int failure = fd >= 0 || !clear ? EEXIST : errno;
    if (fd >= 0) ::close(fd);
    // Only a thing that is neither a file nor a folder is cleared away;
    // unlink() removes a link itself, never what it points to.
    if (attempt > 0 || ::lstat(path.c_str(), &there) != 0 || S_ISREG(there.st_mode) ||
        S_ISDIR(there.st_mode) || ::unlink(path.c_str()) != 0) {
      errno = failure;
      return -1;
    }
  }
  errno = EEXIST;
  return -1;
}

}  // namespace quillmarsh
