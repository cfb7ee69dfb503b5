#pragma once
// The real main window in this process, on a temporary installation: an
// application folder with the skin and a downloader (the scripted fake, or
// the real tarnfetch), a home folder of its own, message boxes answered by
// a recorder. TearDown stops every worker before the folders go.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/pasMain.h"
#include "support/BoxRecorder.h"
#include "support/TempDir.h"

namespace quillmarsh {

class WindowSandbox : public ::testing::Test {
 protected:
  // realDownloader: tarnfetch as built, else the scripted fake.
  explicit WindowSandbox(bool realDownloader = false) : realDownloader_(realDownloader) {}
  void SetUp() override;
  void TearDown() override;

  // A window started as at program start (settings, history, worker lists).
  TfrmMain& StartWindow();
  std::string app() const { return dir_.file("app"); }
  std::string home() const { return dir_.file("home"); }
  std::string outputDir() const { return home() + "/Documents/Video Download/"; }
  MissionModel& list() { return w_->Missions(); }

  TempDir dir_;
  BoxRecorder boxes_{mrYes};
  std::vector<std::unique_ptr<TfrmMain>> windows_;
  TfrmMain* w_ = nullptr;

 private:
  bool realDownloader_;
};

}  // namespace quillmarsh
