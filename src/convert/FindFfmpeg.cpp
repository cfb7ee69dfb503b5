#include "convert/FindFfmpeg.h"

#include <filesystem>
#include <string_view>
#include <system_error>

namespace quillmarsh {

namespace {
bool IsExecutableFile(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (ec || !fs::is_regular_file(st)) return false;
  const auto exec = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
  return (st.permissions() & exec) != fs::perms::none;
}

std::string InFolder(std::string_view folder) {
  std::string path(folder);
  if (path.back() != '/') path.push_back('/');
  return path + "ffmpeg";
}
}  // namespace

std::string FindFfmpeg(const std::string& appDir, const char* searchPath) {
  if (!appDir.empty() && appDir.front() == '/' && IsExecutableFile(InFolder(appDir)))
    return InFolder(appDir);
  if (searchPath == nullptr) return {};
  std::string_view rest(searchPath);
  while (true) {
    const std::size_t colon = rest.find(':');
    const std::string_view folder = rest.substr(0, colon);
    if (!folder.empty() && folder.front() == '/' && IsExecutableFile(InFolder(folder)))
      return InFolder(folder);
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return {};
}

}  // namespace quillmarsh
