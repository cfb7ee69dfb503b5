#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace quillmarsh {

namespace {
std::string RuntimePath(const std::string& name, const std::string& extension) {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
    return std::string(runtime) + "/" + name + extension;
  std::error_code ec;
  std::string tmp = std::filesystem::temp_directory_path(ec).string();
  if (ec || tmp.empty()) tmp = "/tmp";
  return tmp + "/" + name + "-" + std::to_string(getuid()) + extension;
}
}  // namespace

std::string SingleInstance::LockPath(const std::string& name) {
  return RuntimePath(name, ".lock");
}

std::string SingleInstance::SocketPath(const std::string& name) {
  return RuntimePath(name, ".socket");
}

SingleInstance::SingleInstance(const std::string& name) {
  const std::string path = LockPath(name);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  // A lock file we cannot open cannot tell us about another instance:
  // run rather than refuse to start.
  if (fd < 0) {
    fd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    return;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return;
  }
  fd_ = fd;
}

SingleInstance::~SingleInstance() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace quillmarsh
