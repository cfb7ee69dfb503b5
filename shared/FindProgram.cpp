#include "shared/FindProgram.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string_view>

namespace quillmarsh {

namespace {
bool IsProgram(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// `name` in `folder` when the folder is absolute and holds the program.
std::string InFolder(std::string_view folder, const std::string& name) {
  if (folder.empty() || folder.front() != '/') return {};
  std::string path(folder);
  if (path.back() != '/') path.push_back('/');
  path += name;
  return IsProgram(path) ? path : std::string();
}
}  // namespace

std::string FindProgram(const std::string& name, const std::string& appDir,
                        const char* searchPath) {
  if (std::string found = InFolder(appDir, name); !found.empty()) return found;
  if (searchPath == nullptr) return {};
  std::string_view rest(searchPath);
  while (true) {
    const std::size_t colon = rest.find(':');
    if (std::string found = InFolder(rest.substr(0, colon), name); !found.empty()) return found;
    if (colon == std::string_view::npos) return {};
    rest.remove_prefix(colon + 1);
  }
}

std::string OwnProgramPath() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  return std::string(path, static_cast<std::size_t>(length));
}

std::string OwnProgramFolder() {
  const std::string self = OwnProgramPath();
  return self.substr(0, self.rfind('/'));
}

}  // namespace quillmarsh
