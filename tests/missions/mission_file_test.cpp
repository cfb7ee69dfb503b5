#include "missions/MissionFile.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "missions/MissionStatus.h"
#include "support/TempDir.h"

namespace quillmarsh {

namespace fs = std::filesystem;

namespace {
const std::string kOutput = "C:\\Documents and Settings\\user1\\My Documents\\Video Download\\";
const std::string kExample =
    "[Config]\r\nPortableMode=0\r\nOutput=" + kOutput +
    "\r\nMission=2\r\n"
    "[0]\r\nurl=(video-page URL of the first mission)\r\nstatus=[Converted]\r\nsize=23.4M\r\n"
    "videoName=Lake at dawn\r\nfileName=" +
    kOutput +
    "Lake at dawn.flv\r\ndoConvert=1\r\nformat=MP3 Audio(.mp3)\r\npriority=Quality First\r\n"
    "[1]\r\nurl=(video-page URL of the second mission)\r\nstatus=[Downloading] 45%\r\n"
    "size=8.0M\r\nvideoName=Second clip\r\nfileName=" +
    kOutput + "Second clip.flv\r\ndoConvert=0\r\nformat=iPad (.mp4)\r\npriority=Quality First\r\n";

void AddMission(MissionModel& model, const std::string& url,
                std::string_view status = Status::WaitForDownload) {
  model.addLsvItem(url, std::string(status), 0, "1.0M", "Video " + url, "/v/" + url + ".flv", true,
                   "PSP (.mp4)", "Both");
}

class MissionFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "qm-missions-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    path_ = (dir_ / "qlmsh.ini").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Loads the settings file afresh, as a start-up does.
  std::string Load(MissionModel& model) {
    IniFile ini(path_);
    return LoadMissionFile(ini, model, "/default/");
  }

  fs::path dir_;
  std::string path_;
};

TEST(MapStoredStatus, FollowsTheLoadTable) {
  const struct {
    std::string stored;
    std::string_view status;
    int progress;
  } cases[] = {
      {"[Downloaded]", Status::Downloaded, 100},
      {"[Converted]", Status::Converted, 100},
      {"[Wait for download]", Status::WaitForDownload, 0},
      {"[Wait for convert]", Status::WaitForConvert, 0},
      {"[Downloading]", Status::WaitForDownload, 0},
      {Status::DownloadingPercent(45), Status::WaitForDownload, 45},
      {"[Downloading] x%", Status::WaitForDownload, 0},
      {"[Downloading] \t7 %", Status::WaitForDownload, 7},
      {"[Downloading] 250%", Status::WaitForDownload, 100},
      {"[Downloading] -5%", Status::WaitForDownload, 0},
      {"old [Downloading] 12%", Status::WaitForDownload, 12},
      {Status::ConvertingPercent(80), Status::WaitForConvert, 0},
      {"[Converting]", Status::WaitForConvert, 0},
      {"[Skip] File Exists", Status::SkipFileExists, 0},
      {"[Skip] format ok", Status::SkipFormatOk, 0},
      {"[Error in download]", Status::ErrorInDownload, 0},
      {"[Error in convert]", Status::ErrorInConvert, 0},
      {"", "", 0},
      {"[downloaded]", "[downloaded]", 0},
      {"[Converted] ", "[Converted] ", 0},
  };
  for (const auto& c : cases) {
    const MappedStatus mapped = MapStoredStatus(c.stored);
    EXPECT_EQ(mapped.status, c.status) << c.stored;
    EXPECT_EQ(mapped.progress, c.progress) << c.stored;
  }
}

TEST_F(MissionFileTest, LoadingTheExampleGivesTwoRowsWithInterruptedWorkWaiting) {
  WriteFile(path_, kExample);
  MissionModel model;
  EXPECT_EQ(Load(model), kOutput);
  ASSERT_EQ(model.count(), 2);
  EXPECT_EQ(model.status(0), Status::Converted);
  EXPECT_EQ(model.record(0).progress, 100);
  EXPECT_TRUE(model.record(0).doConvert);
  EXPECT_EQ(model.record(0).format, "MP3 Audio(.mp3)");
  EXPECT_EQ(model.status(1), Status::WaitForDownload);
  EXPECT_EQ(model.record(1).progress, 45);
  EXPECT_EQ(model.caption(1), "Second clip");
  EXPECT_EQ(model.url(1), "(video-page URL of the second mission)");
  EXPECT_EQ(model.subItem(1, SubSize), "8.0M");
  EXPECT_EQ(model.record(1).fileName, kOutput + "Second clip.flv");
  EXPECT_FALSE(model.record(1).doConvert);
  EXPECT_EQ(model.record(1).priority, "Quality First");
}

TEST_F(MissionFileTest, SavingWritesTheFileInItsOrder) {
  MissionModel model;
  model.addLsvItem("(video-page URL of the first mission)", "[Converted]", 100, "23.4M",
                   "Lake at dawn", kOutput + "Lake at dawn.flv", true, "MP3 Audio(.mp3)",
                   "Quality First");
  model.addLsvItem("(video-page URL of the second mission)", Status::DownloadingPercent(45), 45,
                   "8.0M", "Second clip", kOutput + "Second clip.flv", false, "iPad (.mp4)",
                   "Quality First");
  IniFile ini(path_);
  SaveMissionFile(ini, model, false, kOutput);
  EXPECT_EQ(ReadFile(path_), kExample);
  // A second save of the same list changes nothing.
  SaveMissionFile(ini, model, false, kOutput);
  EXPECT_EQ(ReadFile(path_), kExample);

  SaveMissionFile(ini, model, true, "/out/");
  IniFile reread(path_);
  EXPECT_TRUE(reread.ReadBool("Config", "PortableMode", false));
  EXPECT_EQ(reread.ReadString("Config", "Output", ""), "/out/");
}

// The failure reason is an added key: written for failed missions only,
// read back with them, dropped with the failure, and the other keys stay
// as an older reader expects them.
TEST_F(MissionFileTest, FailureReasonsSurviveARestart) {
  MissionModel model;
  AddMission(model, "u0");
  AddMission(model, "u1");
  AddMission(model, "u2");
  model.setFailed(0, Status::ErrorInDownload, "HTTP Error 403: Forbidden");
  model.setFailed(1, Status::ErrorInConvert, "a.flv: Invalid data found\r\n[Config]");
  model.setFailed(2, Status::ErrorInDownload, "gone");
  model.setStatus(2, std::string(Status::WaitForDownload));  // reset
  EXPECT_EQ(model.reason(2), "");
  {
    IniFile ini(path_);
    SaveMissionFile(ini, model, false, kOutput);
  }
  const std::string saved = ReadFile(path_);
  EXPECT_NE(saved.find("priority=Both\r\nreason=HTTP Error 403: Forbidden\r\nprogress=0\r\n[1]"),
            std::string::npos);
  EXPECT_EQ(saved.find("reason=gone"), std::string::npos);
  EXPECT_EQ(IniFile(path_).SectionNames(), (std::vector<std::string>{"Config", "0", "1", "2"}));

  MissionModel loaded;
  Load(loaded);
  ASSERT_EQ(loaded.count(), 3);
  EXPECT_EQ(loaded.status(0), Status::ErrorInDownload);
  EXPECT_EQ(loaded.reason(0), "HTTP Error 403: Forbidden");
  EXPECT_EQ(loaded.index(0, ColProgress).data(Qt::ToolTipRole).toString(),
            QStringLiteral("HTTP Error 403: Forbidden"));
  EXPECT_EQ(loaded.reason(1), "a.flv: Invalid data found  [Config]");
  EXPECT_EQ(loaded.reason(2), "");
  for (int row = 0; row < 3; ++row) EXPECT_EQ(loaded.url(row), model.url(row));

  // A reason beside a status that is no failure means nothing.
  WriteFile(path_,
            "[Config]\r\nMission=1\r\n[0]\r\nurl=u\r\nstatus=[Downloaded]\r\nreason=old\r\n");
  MissionModel done;
  Load(done);
  EXPECT_EQ(done.reason(0), "");
}

// A bar the status text cannot rebuild comes back from the added key
// "progress"; any other status rebuilds its bar as before.
TEST_F(MissionFileTest, StoredBarsOfSkippedFailedAndPausedRows) {
  const struct {
    std::string_view status;
    int progress, loaded;
  } cases[] = {{Status::SkipFormatOk, 100, 100},
               {Status::ErrorInConvert, 73, 73},
               {Status::Paused, 55, 55},
               {Status::WaitForDownload, 60, 0}};
  MissionModel model;
  for (const auto& c : cases) {
    const int row = model.count();
    AddMission(model, "u" + std::to_string(row), c.status);
    model.setProgress(row, c.progress);
  }
  {
    IniFile ini(path_);
    SaveMissionFile(ini, model, false, kOutput);
  }
  MissionModel loaded;
  Load(loaded);
  for (int row = 0; row < loaded.count(); ++row)
    EXPECT_EQ(loaded.record(row).progress, cases[row].loaded) << cases[row].status;
}

TEST_F(MissionFileTest, AShrunkListLeavesOldSectionsThatLoadingIgnores) {
  MissionModel model;
  for (const char* url : {"u0", "u1", "u2", "u3", "u4"}) AddMission(model, url);
  IniFile ini(path_);
  SaveMissionFile(ini, model, false, "/out/");
  model.removeRowsAt({0, 2, 4});
  SaveMissionFile(ini, model, false, "/out/");

  IniFile reread(path_);
  EXPECT_EQ(reread.ReadInteger("Config", "Mission", 0), 2);
  EXPECT_EQ(reread.ReadString("0", "url", ""), "u1");
  EXPECT_EQ(reread.ReadString("1", "url", ""), "u3");
  EXPECT_EQ(reread.ReadString("2", "url", ""), "u2");
  EXPECT_EQ(reread.ReadString("4", "url", ""), "u4");
  MissionModel loaded;
  Load(loaded);
  ASSERT_EQ(loaded.count(), 2);
  EXPECT_EQ(loaded.url(0), "u1");
  EXPECT_EQ(loaded.url(1), "u3");
  EXPECT_EQ(loaded.caption(1), "Video u3");
  EXPECT_EQ(loaded.record(1).fileName, "/v/u3.flv");
}

TEST_F(MissionFileTest, DoConvertReadsAsAnInteger) {
  WriteFile(path_,
            "[Config]\r\nMission=3\r\n[0]\r\ndoConvert=2\r\n[1]\r\ndoConvert=yes\r\n[2]\r\n");
  MissionModel model;
  Load(model);
  ASSERT_EQ(model.count(), 3);
  EXPECT_TRUE(model.record(0).doConvert);
  EXPECT_FALSE(model.record(1).doConvert);
  EXPECT_FALSE(model.record(2).doConvert);
  // An empty section is an empty row, captioned from its empty URL.
  EXPECT_EQ(model.caption(2), "[url] ");
  EXPECT_EQ(model.status(2), "");
}

TEST_F(MissionFileTest, AFileWithoutConfigGivesTheDefaultsAndNoRows) {
  WriteFile(path_, "[0]\r\nurl=http://x\r\nstatus=[Downloaded]\r\n");
  MissionModel model;
  EXPECT_EQ(Load(model), "/default/");
  EXPECT_EQ(model.count(), 0);
  fs::remove(path_);
  EXPECT_EQ(Load(model), "/default/");
  EXPECT_EQ(model.count(), 0);
}

TEST_F(MissionFileTest, ClearKeepsTheCountAndErasesTheMissionSections) {
  MissionModel model;
  for (const char* url : {"u0", "u1", "u2"}) AddMission(model, url);
  IniFile ini(path_);
  SaveMissionFile(ini, model, false, "/out/");
  ini.WriteString("7", "url", "beyond the count");
  ClearStoredMissions(ini);

  IniFile reread(path_);
  EXPECT_EQ(reread.ReadInteger("Config", "Mission", 0), 3);
  EXPECT_EQ(reread.SectionNames(), (std::vector<std::string>{"Config", "7"}));
  MissionModel loaded;
  Load(loaded);
  EXPECT_EQ(loaded.count(), 0);
}

TEST_F(MissionFileTest, ARefusedSaveRaisesTheMessage) {
  const std::string bad = (dir_ / "missing" / "qlmsh.ini").string();
  IniFile ini(bad);
  MissionModel model;
  AddMission(model, "u0");
  try {
    SaveMissionFile(ini, model, false, "/out/");
    ADD_FAILURE() << "no error";
  } catch (const IniWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + bad);
  }
}

// Loading must not count up to a damaged count or fill gaps without end.
TEST_F(MissionFileTest, AHugeStoredCountLoadsOnlyWhatTheFileHolds) {
  WriteFile(path_,
            "[Config]\r\nMission=2147483647\r\n[0]\r\nurl=a\r\n[1]\r\nurl=b\r\n"
            "[00]\r\nurl=not a mission\r\n[5]\r\nurl=f\r\n");
  MissionModel model;
  Load(model);
  ASSERT_EQ(model.count(), 6);  // the gap of rows 2 to 4 loads as empty rows
  EXPECT_EQ(model.url(1), "b");
  EXPECT_EQ(model.url(3), "");
  EXPECT_EQ(model.url(5), "f");

  IniFile ini(path_);
  ClearStoredMissions(ini);
  EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"Config", "00"}));

  WriteFile(path_, "[Config]\r\nMission=2147483647\r\n[0]\r\nurl=a\r\n[2000000000]\r\nurl=z\r\n");
  MissionModel gaps;
  Load(gaps);
  ASSERT_EQ(gaps.count(), 1002);
  EXPECT_EQ(gaps.url(1001), "z");
}

TEST_F(MissionFileTest, GarbageAndHugeLinesLoadWithoutHarm) {
  std::mt19937 random(99);
  std::string garbage(1 << 20, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  WriteFile(path_, "[Config]\r\nMission=2\r\n[0]\r\nurl=" + std::string(10 << 20, 'u') + "\r\n" +
                       garbage + "\r\n[1]\r\nstatus=[Downloading] 9%\r\n");
  MissionModel model;
  Load(model);
  ASSERT_EQ(model.count(), 2);
  EXPECT_EQ(model.url(0).size(), 2047u);
  EXPECT_EQ(model.status(1), Status::WaitForDownload);
  EXPECT_EQ(model.record(1).progress, 9);
  IniFile ini(path_);
  SaveMissionFile(ini, model, false, "/out/");
  MissionModel again;
  Load(again);
  EXPECT_EQ(again.count(), 2);
}
}  // namespace

}  // namespace quillmarsh
