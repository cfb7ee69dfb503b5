#include "download/DownloadScheduler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "download/TDownloadThread.h"
#include "missions/MissionStatus.h"
#include "shared/IniFile.h"
#include "support/DownloadFixture.h"
#include "support/QtTestApp.h"

namespace quillmarsh {

using ::testing::ElementsAre;

using DownloadSchedulerTest = DownloadFixture;

namespace {
const std::string kDone = "out <speed> 100.0% of 1.0M at 1.0M ETA 00:00</speed>\\n\ndrain\n";
}

TEST_F(DownloadSchedulerTest, NextMissionIsTheFirstExactlyWaitingRow) {
  struct Case {
    const char* name;
    std::vector<std::string> statuses;
    int expected;
  };
  const Case cases[] = {
      {"empty list", {}, -1},
      {"first waiting", {"[Wait for download]", "[Wait for download]"}, 0},
      {"done rows passed over", {"[Downloaded]", "[Downloading]", "[Wait for download]"}, 2},
      {"letter case differs", {"[wait for download]"}, -1},
      {"text around it", {" [Wait for download]", "[Wait for download] "}, -1},
      {"errors are not waiting", {"[Error in download]", "[Wait for convert]"}, -1},
  };
  for (const Case& c : cases) {
    MissionModel missions;
    for (const std::string& s : c.statuses)
      missions.addLsvItem("u", s, 0, "", "", "", false, "", "");
    EXPECT_EQ(GetNextDownUrl(missions), c.expected) << c.name;
  }
}

TEST_F(DownloadSchedulerTest, EveryCallSavesAndSetsTheFlagsEvenWithNothingToStart) {
  host_.AddMission("http://v/a", "[Downloaded]");
  host_.AddMission("http://v/b");
  host_.pipeline.Stopping = true;
  host_.downloadLimit = 0;
  host_.StartDownload();
  EXPECT_FALSE(host_.pipeline.Stopping);
  EXPECT_TRUE(host_.pipeline.Busy);
  EXPECT_EQ(host_.downloadingButtonsCalls, 1);
  EXPECT_EQ(host_.saveSettingsCalls, 1);
  EXPECT_THAT(host_.reports,
              ElementsAre("startDownload", "GetNexUrl: 1", "Available Download Counter: 0"));
  EXPECT_EQ(host_.missions.status(1), Status::WaitForDownload);
  EXPECT_TRUE(host_.pipeline.DownloadThreads.empty());
}

TEST_F(DownloadSchedulerTest, ARefusedSaveStartsNothing) {
  host_.AddMission("http://v/a");
  host_.onSaveSettings = [] { throw IniWriteError("/ro/qlmsh.ini"); };
  EXPECT_THROW(host_.StartDownload(), IniWriteError);
  EXPECT_EQ(host_.missions.status(0), Status::WaitForDownload);
  EXPECT_TRUE(host_.pipeline.DownloadThreads.empty());
  EXPECT_EQ(host_.pipeline.RunningDownloads, 0);
}

TEST_F(DownloadSchedulerTest, NoWorkerBeforeTheWorkerListsExist) {
  host_.AddMission("http://v/a");
  host_.pipeline.WorkerListsCreated = false;
  host_.StartDownload();
  EXPECT_EQ(host_.missions.status(0), Status::WaitForDownload);
  EXPECT_TRUE(host_.pipeline.DownloadThreads.empty());
  EXPECT_EQ(host_.reports.size(), 3u);
}

TEST_F(DownloadSchedulerTest, TheDownloaderGetsTheUrlAndTemplateAsSingleArguments) {
  host_.outputDir = dir_.file("out dir $HOME \"q\"") + "/";
  const std::string url = "--help";  // a URL that looks like an option stays the URL
  Script(url, "args " + dir_.file("args.txt") + "\n" + kDone);
  host_.AddMission(url);
  host_.StartDownload();
  ASSERT_TRUE(host_.WaitForIdle());
  EXPECT_EQ(ReadFile(dir_.file("args.txt")),
            url + "\n-p\n" + host_.outputDir + "%(title)s.%(ext)s\n");
  EXPECT_THAT(host_.ReportsStartingWith("[Command Line]: "),
              ElementsAre("[Command Line]: tarnfetch --help -p \"" + host_.outputDir +
                          "%(title)s.%(ext)s\""));
  EXPECT_EQ(DownloaderArguments(host_, url).front(), host_.programDir + "tarnfetch");
}

TEST_F(DownloadSchedulerTest, LimitTwoStartsRowsInListOrderAndRefillsTheSlot) {
  Script("a", kDone);
  Script("b", "sleep 2500\n" + kDone);
  Script("c", kDone);
  Script("d", kDone);
  for (const char* name : {"a", "b", "c", "d"}) host_.AddMission(UrlFor(name));
  host_.downloadLimit = 2;
  host_.StartDownload();
  EXPECT_EQ(host_.missions.status(0), Status::Downloading);
  EXPECT_EQ(host_.missions.status(1), Status::Downloading);
  EXPECT_EQ(host_.missions.status(2), Status::WaitForDownload);
  EXPECT_EQ(host_.missions.status(3), Status::WaitForDownload);
  EXPECT_EQ(host_.pipeline.RunningDownloads, 2);
  EXPECT_EQ(host_.pipeline.DownloadThreads.size(), 2u);
  EXPECT_EQ(host_.pipeline.DownloadThreads[0]->MissionIndex, 0);
  EXPECT_EQ(host_.pipeline.DownloadThreads[1]->MissionIndex, 1);

  // The end of row 0's worker starts row 2; row 1 still runs, row 3 waits.
  ASSERT_TRUE(SpinUntil([&] { return host_.missions.status(2) != Status::WaitForDownload; }));
  EXPECT_EQ(host_.missions.status(0), Status::Downloaded);
  EXPECT_EQ(host_.missions.status(1), Status::Downloading);
  EXPECT_EQ(host_.missions.status(3), Status::WaitForDownload);

  ASSERT_TRUE(host_.WaitForIdle());
  for (int row = 0; row < 4; ++row) EXPECT_EQ(host_.missions.status(row), Status::Downloaded);
  EXPECT_EQ(host_.pipeline.RunningDownloads, 0);
  EXPECT_EQ(host_.startConvertCalls, 4);
}

TEST_F(DownloadSchedulerTest, AHandOverForARowThatIsGoneDoesNothing) {
  TDownloadThread worker(host_);  // never started: driven by hand
  worker.MissionIndex = 3;
  worker.TakeSlot();
  worker.Output = "<title>x</title>\nERROR\n<speed> 100% of 1M at 1M ETA 0</speed>";
  worker.ProcessOutput();
  EXPECT_TRUE(host_.logs.empty());
  EXPECT_EQ(host_.startDownloadCalls, 0);
  EXPECT_EQ(host_.pipeline.RunningDownloads, 1);
}

}  // namespace quillmarsh
