// What the row menu offers per mission state, and which file it opens.
#include "pipeline/RowActions.h"

#include <gtest/gtest.h>

#include "missions/MissionStatus.h"
#include "missions/UrlBatch.h"
#include "support/TempDir.h"

namespace quillmarsh {

namespace {
TEST(RowActions, RetryAppliesToFailuresAlwaysAndToWaitingMissionsOnlyAfterStop) {
  struct Case {
    std::string_view status;
    bool busy;
    bool applies;
    std::string_view after;
  } cases[] = {
      {Status::ErrorInDownload, true, true, Status::WaitForDownload},
      {Status::ErrorInConvert, false, true, Status::WaitForConvert},
      {Status::WaitForDownload, false, true, Status::WaitForDownload},
      {Status::WaitForConvert, false, true, Status::WaitForConvert},
      {Status::WaitForDownload, true, false, Status::WaitForDownload},
      {Status::Converted, false, false, Status::Converted},
      {"[Downloading] 45%", false, false, "[Downloading] 45%"},
      {Status::Downloaded, false, false, Status::Downloaded},
  };
  for (const Case& c : cases) {
    MissionModel missions;
    missions.addLsvItem("u", std::string(c.status), 0, {}, {}, {}, true, {}, {});
    EXPECT_EQ(RetryApplies(std::string(c.status), c.busy), c.applies) << c.status;
    EXPECT_EQ(RetryRow(missions, 0, c.busy), c.applies) << c.status;
    EXPECT_EQ(missions.status(0), c.after) << c.status;
  }
  MissionModel empty;
  EXPECT_FALSE(RetryRow(empty, 0, false));
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
