#include "shared/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace quillmarsh {

namespace {
constexpr std::string_view kTempInfix = ".tmp-";

// A symbolic link the user made is kept: the file it points to is
// replaced. A link at a file of the program's own is itself replaced.
std::string ResolveTarget(const std::string& path, Links links) {
  struct stat st {};
  if (links == Links::Refuse || lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
    return path;
  }
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// Only a regular file (or a link, when it is not followed) is replaced:
// renaming over a device, FIFO or folder would swap out what is not a file
// the program wrote.
bool Replaceable(const std::string& target) {
  struct stat st {};
  if (lstat(target.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) return true;
  errno = S_ISDIR(st.st_mode) ? EISDIR : EEXIST;
  return false;
}

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// umask() cannot be read without changing it, which would race with other
// threads; the kernel reports it in /proc instead.
mode_t NewFileMode() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0)
      return 0666 & ~static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return 0644;
}

void SyncDirectory(const std::string& dir) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  // The rename has already happened; a failure here only weakens durability.
  (void)fsync(fd);
  close(fd);
}
}  // namespace

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t n = write(fd, content.data(), content.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view content, Links links) {
  const std::string target = ResolveTarget(path, links);
  if (!Replaceable(target)) return false;
  // The rename needs only the folder's permission, so it would replace a
  // file its owner made read-only: ask as a write in place would be asked.
  if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0 &&
      errno != ENOENT) {
    return false;
  }
  std::string temp = target + std::string(kTempInfix) + "XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;

  struct stat old {};
  const mode_t mode = lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)
                          ? (old.st_mode & 07777)
                          : NewFileMode();
  bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, content) && fsync(fd) == 0;
  int err = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    unlink(temp.c_str());
    errno = err;
    return false;
  }
  SyncDirectory(DirectoryOf(target));
  return true;
}

void RemoveAtomicTemporaries(const std::string& path) {
  namespace fs = std::filesystem;
  const fs::path target(ResolveTarget(path, Links::Follow));
  const std::string prefix = target.filename().string() + std::string(kTempInfix);
  std::error_code ec;
  fs::directory_iterator it(target.has_parent_path() ? target.parent_path() : fs::path("."), ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    std::error_code typeError;
    if (!it->is_regular_file(typeError) || it->is_symlink(typeError)) continue;
    std::error_code removeError;
    fs::remove(it->path(), removeError);
  }
}

}  // namespace quillmarsh
