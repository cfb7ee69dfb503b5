#pragma once
// A temporary installation and user account for running the real program:
// an application folder holding the program, its skin and a downloader, a
// home folder, and a runtime folder for the single-instance lock.

#include <QProcessEnvironment>
#include <string>

#include "support/TempDir.h"

namespace quillmarsh {

class AppFolder {
 public:
  // Copies `program` from the test tools folder into the application folder.
  explicit AppFolder(const std::string& program = "quillmarsh_probe", bool withDownloader = true);

  std::string appDir() const { return root_.file("app"); }
  std::string home() const { return root_.file("home"); }
  std::string program() const { return appDir() + "/" + program_; }
  std::string dataDir() const { return home() + "/.local/share/Quillmarsh"; }
  std::string iniPath() const { return dataDir() + "/qlmsh.ini"; }
  QProcessEnvironment environment() const;

 private:
  TempDir root_;
  std::string program_;
};

}  // namespace quillmarsh
