#include "platform/UserFolders.h"

#include <sys/stat.h>
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <cerrno>

namespace quillmarsh {

namespace {
// The desktop's standard folders always exist where the program expects
// them; a fresh account here may lack them, so they are made on demand.
std::string firstLocation(QStandardPaths::StandardLocation where) {
  const QString path = QStandardPaths::writableLocation(where);
  if (!path.isEmpty()) QDir().mkpath(path);
  std::string s = path.toStdString();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}
}  // namespace

std::string DocumentsFolder() {
  return firstLocation(QStandardPaths::DocumentsLocation);
}

std::string ApplicationDataFolder() {
  return firstLocation(QStandardPaths::GenericDataLocation);
}

namespace {
std::string& programFolderOverride() {
  static std::string folder;
  return folder;
}
}  // namespace

void SetProgramFolderForTests(std::string folder) {
  programFolderOverride() = std::move(folder);
}

std::string ProgramFolder() {
  if (!programFolderOverride().empty()) return AppendSlash(programFolderOverride());
  return AppendSlash(QCoreApplication::applicationDirPath().toStdString());
}

int CreateFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) == 0) return 0;
  const int err = errno;
  return err == EEXIST && FolderExists(path) ? 0 : err;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool FolderExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string AppendSlash(std::string path) {
  if (path.empty() || path.back() != '/') path.push_back('/');
  return path;
}

}  // namespace quillmarsh
