#include "files/NewFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/FetchError.h"
#include "files/OutputFolder.h"

namespace tarnfetch {

void WriteNewFile(const OutputFolder& folder, const std::string& finalName,
                  const std::function<void(int fd)>& fill) {
  const std::string shown = folder.Path() + "/" + finalName;
  const int fd = openat(folder.Descriptor(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0) throw FetchError("Could not prepare " + shown + ": " + std::strerror(errno) + ".");
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  fill(fd);
  if (fsync(fd) != 0) {
    throw FetchError("Could not finish writing " + shown + ": " + std::strerror(errno) + ".");
  }
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, self.c_str(), folder.Descriptor(), finalName.c_str(), AT_SYMLINK_FOLLOW) !=
      0) {
    throw FetchError("Could not name " + shown + ": " + std::strerror(errno) + ".");
  }
}

}  // namespace tarnfetch
