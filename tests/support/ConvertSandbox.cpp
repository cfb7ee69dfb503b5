#include "support/ConvertSandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "convert/ConvertScheduler.h"
#include "pipeline/StopAll.h"
#include "support/QtTestApp.h"

namespace quillmarsh {

ConvertSandbox::ConvertSandbox(const std::string& ffmpeg) {
  EnsureQtApp();
  std::filesystem::create_directory(dir_.file("app"));
  if (!ffmpeg.empty()) std::filesystem::create_symlink(ffmpeg, dir_.file("app/ffmpeg"));
  host.programDir = appDir();
  host.pipeline.TemporaryJournal = file("conversions");
  host.onStartConvert = [this] { StartWaitingConversions(host); };
  connection_ = QObject::connect(
      &host.missions, &QAbstractItemModel::dataChanged,
      [this](const QModelIndex& tl, const QModelIndex& br) { Record(tl.row(), br.row()); });
}

ConvertSandbox::~ConvertSandbox() {
  // Nothing may outlive the folder or call back into this object.
  StopAll(host);
  RunUntilIdle(std::chrono::seconds(10));
  QObject::disconnect(connection_);
  host.onStartConvert = nullptr;
}

int ConvertSandbox::AddMission(const std::string& fileName, const std::string& format,
                               const std::string& status, bool doConvert,
                               const std::string& priority) {
  const int row =
      host.missions.addLsvItem("https://video.example/" + std::to_string(host.missions.count()),
                               status, 0, "1.0M", "clip", fileName, doConvert, format, priority);
  Record(row, row);
  return row;
}

void ConvertSandbox::Record(int first, int last) {
  maxRunning_ = std::max(maxRunning_, host.pipeline.RunningConverts);
  for (int row = first; row <= last; ++row) {
    if (!host.missions.isValidRow(row)) continue;
    auto& statuses = statuses_[row];
    const std::string& status = host.missions.status(row);
    if (statuses.empty() || statuses.back() != status) statuses.push_back(status);
    auto& percents = percents_[row];
    const int progress = host.missions.record(row).progress;
    if (percents.empty() || percents.back() != progress) percents.push_back(progress);
  }
}

void ExpectStartEndPairs(const std::vector<std::string>& reports) {
  std::vector<std::string> started, ended;
  for (std::size_t i = 0; i < reports.size(); ++i) {
    if (reports[i].rfind("[Command Line]: ", 0) == 0) {
      ASSERT_LT(i + 1, reports.size());
      ASSERT_EQ(reports[i + 1].rfind("[c-start] ", 0), 0u) << reports[i + 1];
    }
    if (reports[i].rfind("[c-start] ", 0) == 0) started.push_back(reports[i].substr(10));
    if (reports[i].rfind("[c-end] ", 0) == 0) ended.push_back(reports[i].substr(8));
  }
  std::sort(started.begin(), started.end());
  std::sort(ended.begin(), ended.end());
  EXPECT_EQ(started, ended);
  EXPECT_EQ(std::adjacent_find(started.begin(), started.end()), started.end())
      << "a worker number was used twice";
}

}  // namespace quillmarsh
