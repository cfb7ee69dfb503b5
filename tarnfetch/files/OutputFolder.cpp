#include "files/OutputFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/FetchError.h"

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

std::optional<OutputFolder::Entry> OutputFolder::Look(const std::string& name) const {
  struct stat info {};
  if (fstatat(fd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return std::nullopt;
    throw FetchError("Could not look at " + path_ + "/" + name + ": " + Reason() + ".");
  }
  return Entry{S_ISREG(info.st_mode), static_cast<std::uint64_t>(info.st_size)};
}

void OutputFolder::Remove(const std::string& name) const {
  if (unlinkat(fd_, name.c_str(), 0) != 0 && errno != ENOENT) {
    throw FetchError("Could not remove " + path_ + "/" + name + ": " + Reason() + ".");
  }
}

}  // namespace tarnfetch
