#include "OutputFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "FetchError.h"

namespace tarnfetch {
namespace {

std::string Reason() {
  return std::strerror(errno);
}

// mkdir -p: each missing level in turn, tolerating ones made meanwhile.
void CreateFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string level = path.substr(0, slash);
    if (!level.empty() && mkdir(level.c_str(), 0777) != 0 && errno != EEXIST) {
      throw FetchError("Could not create the folder " + level + ": " + Reason() + ".");
    }
    if (slash == std::string::npos) return;
  }
}

}  // namespace

OutputFolder::OutputFolder(const std::string& path) : path_(path) {
  fd_ = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0 && errno == ENOENT) {
    CreateFolders(path);
    fd_ = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  if (fd_ < 0) throw FetchError("Could not open the folder " + path + ": " + Reason() + ".");
}

OutputFolder::~OutputFolder() {
  if (fd_ >= 0) close(fd_);
}

bool OutputFolder::HasCompleteFile(const std::string& name,
                                   std::optional<std::uint64_t> expectedSize) const {
  struct stat info {};
  if (fstatat(fd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (!S_ISREG(info.st_mode)) {
    throw FetchError("Something that is not a plain file is in the way: " + path_ + "/" + name +
                     ".");
  }
  return !expectedSize || static_cast<std::uint64_t>(info.st_size) == *expectedSize;
}

std::optional<std::uint64_t> OutputFolder::FileSize(const std::string& name) const {
  struct stat info {};
  if (fstatat(fd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(info.st_size);
}

void OutputFolder::Rename(const std::string& from, const std::string& to) const {
  if (renameat(fd_, from.c_str(), fd_, to.c_str()) != 0) {
    throw FetchError("Could not rename " + from + " to " + to + " in " + path_ + ": " + Reason() +
                     ".");
  }
}

}  // namespace tarnfetch
