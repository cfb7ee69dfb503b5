#include "support/ProbeProcess.h"

#include <signal.h>

#include <algorithm>
#include <filesystem>

#include "support/ChildProcesses.h"
#include "support/QtTestApp.h"

namespace quillmarsh {

void UseFakeDownloader(const AppFolder& app, const std::string& name, const std::string& script) {
  const std::string downloader = app.appDir() + "/tarnfetch";
  if (!std::filesystem::is_symlink(downloader)) {
    std::filesystem::remove(downloader);
    std::filesystem::create_symlink(TestToolPath("fake_tarnfetch"), downloader);
  }
  WriteFile(app.appDir() + "/" + name + ".script", script);
}

ProbeProcess::ProbeProcess(const AppFolder& app, const QStringList& args) {
  for (int i = 0; i + 1 < args.size(); ++i)
    if (args[i] == QStringLiteral("--add")) urls_.push_back(args[i + 1].toStdString());
  process.setProcessEnvironment(app.environment());
  process.start(QString::fromStdString(app.program()), args);
}

ProbeProcess::~ProbeProcess() {
  process.kill();
  process.waitForFinished();
  for (const std::string& url : urls_)
    for (const int pid : ProcessesWithArgument(url)) ::kill(pid, SIGKILL);
}

bool ProbeProcess::WaitFor(const QByteArray& text) {
  while (!out.contains(text)) {
    if (!process.waitForReadyRead(20000)) return false;
    out += process.readAllStandardOutput();
  }
  return true;
}

void ProbeProcess::Signal(int number) {
  ::kill(static_cast<pid_t>(process.processId()), number);
}

bool ProbeProcess::WaitForEnd(int ms) {
  const bool ended = process.waitForFinished(ms);
  out += process.readAllStandardOutput();
  return ended;
}

std::vector<int> ProbeProcess::Children(const std::string& url) const {
  std::vector<int> pids = ProcessesWithArgument(url);
  std::erase(pids, static_cast<int>(process.processId()));
  return pids;
}

}  // namespace quillmarsh
