#include "support/AppFolder.h"

#include <filesystem>

namespace quillmarsh {

namespace fs = std::filesystem;

AppFolder::AppFolder(const std::string& program, bool withDownloader) : program_(program) {
  fs::create_directories(appDir());
  fs::create_directories(home());
  fs::create_directories(root_.file("run"));
  fs::permissions(root_.file("run"), fs::perms::owner_all, fs::perm_options::replace);
  fs::copy_file(std::string(QM_TEST_TOOLS_DIR) + "/" + program, this->program());
  fs::copy_file(std::string(QM_APP_DIR) + "/default.skn", appDir() + "/default.skn");
  if (withDownloader) {
    const fs::path real = std::string(QM_APP_DIR) + "/tarnfetch";
    if (fs::exists(real))
      fs::copy_file(real, appDir() + "/tarnfetch");
    else
      WriteFile(appDir() + "/tarnfetch", "#!/bin/sh\nexit 1\n");
    fs::permissions(appDir() + "/tarnfetch", fs::perms::owner_all, fs::perm_options::add);
  }
}

QProcessEnvironment AppFolder::environment() const {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("HOME"), QString::fromStdString(home()));
  env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(root_.file("run")));
  env.remove(QStringLiteral("XDG_DATA_HOME"));
  env.remove(QStringLiteral("XDG_CONFIG_HOME"));
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  // A site extractor update started by a run fetches from where nothing answers.
  env.insert(QStringLiteral("TARNFETCH_TEST_RELEASE_URL"), QStringLiteral("http://127.0.0.1:9/"));
  return env;
}

}  // namespace quillmarsh
