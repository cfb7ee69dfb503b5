#include "support/WindowSandbox.h"

#include <unistd.h>

#include <QApplication>
#include <filesystem>

#include "app/pasGlobal.h"
#include "platform/UserFolders.h"
#include "platform/WorkerThread.h"
#include "support/QtTestApp.h"

namespace quillmarsh {

using namespace std::chrono_literals;

void WindowSandbox::SetUp() {
  EnsureQtApp<QApplication>();
  WorkerThread::ResumeHandOvers();
  std::filesystem::create_directories(app());
  WriteFile(app() + "/default.skn", "");
  const std::string downloader =
      realDownloader_ ? std::string(QM_APP_DIR "/tarnfetch") : TestToolPath("fake_tarnfetch");
  ASSERT_EQ(::symlink(downloader.c_str(), (app() + "/tarnfetch").c_str()), 0);
  // The real downloader keeps its site extractor current only when asked:
  // nothing here may reach beyond loopback.
  const std::string data = home() + "/.local/share/Quillmarsh";
  std::filesystem::create_directories(data);
  WriteFile(data + "/qlmsh.ini", "[Config]\r\nUpdateSiteExtractor=0\r\n");
  qputenv("HOME", QByteArray::fromStdString(home()));
  qunsetenv("XDG_DATA_HOME");
  qputenv("TARNFETCH_TEST_RELEASE_URL", "http://127.0.0.1:9/");
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) qunsetenv(name);
  SetProgramFolderForTests(app());
  Paths = WorkingPaths{};
  w_ = &StartWindow();
}

TfrmMain& WindowSandbox::StartWindow() {
  windows_.push_back(std::make_unique<TfrmMain>());
  windows_.back()->InitSettings();
  return *windows_.back();
}

void WindowSandbox::TearDown() {
  for (auto& w : windows_) w->closeAllThreads();
  EXPECT_TRUE(SpinUntil([] { return !WorkerThread::AnyWorkerRunning(); }, 20s));
  SpinFor(50ms);
  SetProgramFolderForTests({});
}

}  // namespace quillmarsh
