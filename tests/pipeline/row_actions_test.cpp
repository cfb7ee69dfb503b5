// What the row menu offers per mission state, and which file it opens.
#include "pipeline/RowActions.h"

#include <gtest/gtest.h>

#include "download/TDownloadThread.h"
#include "missions/MissionStatus.h"
#include "missions/UrlBatch.h"
#include "pipeline/PauseResume.h"
#include "support/TempDir.h"
#include "support/TestHost.h"

namespace quillmarsh {

namespace {
TEST(RowActions, RetryAndResumeApplyPerStateAndOnlyOnceTheRowsWorkerHasEnded) {
  enum Worker { None, Listed, Ending };
  struct Case {
    std::string_view status;
    bool busy;
    Worker worker;
    bool applies;
    std::string_view after;
  } cases[] = {
      {Status::ErrorInDownload, true, None, true, Status::WaitForDownload},
      {Status::ErrorInDownload, true, Listed, false, Status::ErrorInDownload},
      {Status::ErrorInConvert, false, None, true, Status::WaitForConvert},
      {Status::ErrorInConvert, false, Ending, false, Status::ErrorInConvert},
      {Status::WaitForDownload, false, None, true, Status::WaitForDownload},
      {Status::WaitForDownload, false, Ending, false, Status::WaitForDownload},
      {Status::WaitForDownload, true, None, false, Status::WaitForDownload},
      {Status::Converted, false, None, false, Status::Converted},
      {"[Downloading] 45%", false, None, false, "[Downloading] 45%"},
      {Status::Paused, false, None, false, Status::Paused},
  };
  for (const Case& c : cases) {
    TestHost host;
    host.pipeline.Busy = c.busy;
    const int row = host.AddMission("u", std::string(c.status));
    TDownloadThread worker(host);  // never started
    worker.MissionIndex = row;
    if (c.worker == Listed) host.pipeline.DownloadThreads.push_back(&worker);
    if (c.worker == Ending) host.pipeline.EndingWorkers.push_back(&worker);
    EXPECT_EQ(RetryApplies(host.missions, host.pipeline, row), c.applies) << c.status;
    EXPECT_EQ(RetryRow(host.missions, host.pipeline, row), c.applies) << c.status;
    EXPECT_EQ(host.missions.status(row), c.after) << c.status;
    EXPECT_EQ(ResumeApplies(host.missions, host.pipeline, row), c.status == Status::Paused)
        << "only a paused row resumes";
    host.pipeline.DownloadThreads.clear();
    host.pipeline.EndingWorkers.clear();
  }
  MissionModel empty;
  EXPECT_FALSE(RetryRow(empty, PipelineState{}, 0));
}

TEST(RowActions, OpenFileTakesTheConvertedFileOnceItExistsElseTheDownloadedOne) {
  TempDir dir;
  const std::string clip = dir.file("clip.flv");
  MissionModel missions;
  const int row = missions.addLsvItem("u", std::string(Status::Converted), 100, {}, {}, clip, true,
                                      "MP3 Audio(.mp3)", "Both");
  EXPECT_EQ(FileToOpen(missions, row), "") << "nothing on disk";
  WriteFile(clip, "video");
  EXPECT_EQ(FileToOpen(missions, row), clip) << "the converted file is gone: the download";
  WriteFile(clip + ".mp3", "audio");
  EXPECT_EQ(FileToOpen(missions, row), clip + ".mp3");
  missions.setStatus(row, std::string(Status::Downloaded));
  EXPECT_EQ(FileToOpen(missions, row), clip) << "not converted (again) yet";
  EXPECT_EQ(FileToOpen(missions, row + 1), "");
}

TEST(UrlBatch, RefusesAddressesAlreadyListedOrRepeated) {
  MissionModel missions;
  missions.addLsvItem("https://v/1", std::string(Status::WaitForDownload), 0, {}, {}, {}, false, {},
                      {});
  const UrlBatch batch =
      SortOutNewUrls(missions, {"https://v/2", "https://v/1", "https://v/2", "https://v/3"});
  EXPECT_EQ(batch.fresh, (std::vector<std::string>{"https://v/2", "https://v/3"}));
  EXPECT_EQ(batch.refused, 2);
  EXPECT_TRUE(IsUrlBatch(" a \r\n\r\n b "));
  EXPECT_FALSE(IsUrlBatch("  a\n\n"));
}
}  // namespace

}  // namespace quillmarsh
