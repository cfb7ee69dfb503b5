#include "support/DownloadFixture.h"

#include <unistd.h>

#include "missions/MissionModel.h"
#include "pipeline/StopAll.h"
#include "platform/WorkerThread.h"
#include "support/QtTestApp.h"

namespace quillmarsh {

void DownloadFixture::SetUp() {
  EnsureQtApp();
  WorkerThread::ResumeHandOvers();
  host_.programDir = dir_.path() + "/";
  host_.outputDir = dir_.file("out") + "/";
  ASSERT_EQ(::symlink(TestToolPath("fake_tarnfetch").c_str(), dir_.file("tarnfetch").c_str()), 0);

  QObject::connect(&host_.missions, &QAbstractItemModel::dataChanged, &host_.missions,
                   [this](const QModelIndex& from, const QModelIndex& to) {
                     for (int row = from.row(); row <= to.row(); ++row) {
                       if (row >= static_cast<int>(history_.size())) history_.resize(row + 1);
                       const std::string now = Cells(row);
                       if (history_[row].empty() || history_[row].back() != now)
                         history_[row].push_back(now);
                     }
                   });
}

void DownloadFixture::TearDown() {
  StopAll(host_);
  EXPECT_TRUE(host_.WaitForIdle());
}

void DownloadFixture::Script(const std::string& name, const std::string& text) {
  WriteFile(dir_.file(name + ".script"), text);
}

int DownloadFixture::RunOne(const std::string& name, const std::string& script) {
  Script(name, script);
  const int row = host_.AddMission(UrlFor(name));
  host_.StartDownload();
  EXPECT_TRUE(host_.WaitForIdle());
  return row;
}

std::vector<std::string> DownloadFixture::History(int row) const {
  return row < static_cast<int>(history_.size()) ? history_[row] : std::vector<std::string>{};
}

std::string DownloadFixture::Cells(int row) const {
  const MissionModel& m = host_.missions;
  return m.status(row) + "|" + m.subItem(row, SubSize) + "|" + m.subItem(row, SubSpeed) + "|" +
         m.subItem(row, SubEta);
}

}  // namespace quillmarsh
