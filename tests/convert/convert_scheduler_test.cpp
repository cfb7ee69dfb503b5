// Which missions StartConvert picks, what it gives the child, and how the
// pipeline behaves when ffmpeg is missing or Stop is pressed.
#include "convert/ConvertScheduler.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QPointer>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/TConvertThread.h"
#include "missions/MissionStatus.h"
#include "pipeline/StopAll.h"
#include "support/ConvertSandbox.h"
#include "support/QtTestApp.h"
#include "support/StandInPrograms.h"
#include "support/TempDir.h"

namespace quillmarsh {

namespace {

using Lines = std::vector<std::string>;

const std::string kGoodRun =
    "out   Duration: 00:00:10.00, start: 0.0\\n\nsleep 100\n"
    "out size= 1kB time=00:00:05.00 bitrate= 1k\\r\nsleep 100\n"
    "out size= 2kB time=00:00:10.00 bitrate= 1k\\r\nsleep 200\nwrite 10\n";

std::string Downloaded(ConvertSandbox& box, const std::string& name,
                       const std::string& script = kGoodRun) {
  const std::string path = box.file(name);
  WriteFile(path, "video");
  WriteFile(path + ".ffscript", script);
  return path;
}

TEST(GetNextConvertUrl, OnlyWaitingRowsThatAskForConversion) {
  EnsureQtApp();
  struct Case {
    std::string status;
    bool doConvert;
    bool picked;
  };
  const Case cases[] = {
      {"[Downloaded]", true, true},         {"[Skip] File Exists", true, true},
      {"[Wait for convert]", true, true},   {"[Downloaded]", false, false},
      {"[Skip] File Exists", false, false}, {"[Wait for convert]", false, false},
      {"[Converting]", true, false},        {"[Converting] 45%", true, false},
      {"[Converted]", true, false},         {"[Error in convert]", true, false},
      {"[Skip] format ok", true, false},    {"[Wait for download]", true, false},
      {"[Downloading] 45%", true, false},   {"[downloaded]", true, false},
      {"[Downloaded] ", true, false},
  };
  for (const Case& c : cases) {
    MissionModel missions;
    missions.addLsvItem("u0", "[Converted]", 0, "", "", "f", true, "MP3 Audio(.mp3)", "Both");
    missions.addLsvItem("u1", c.status, 0, "", "", "f", c.doConvert, "MP3 Audio(.mp3)", "Both");
    EXPECT_EQ(GetNextConvertUrl(missions), c.picked ? 1 : -1) << c.status << " " << c.doConvert;
  }
  MissionModel empty;
  EXPECT_EQ(GetNextConvertUrl(empty), -1);
}

TEST(StartConvert, LimitOneRunsThreeMissionsOneAfterAnother) {
  ConvertSandbox box(TestToolPath("fake_ffmpeg"));
  for (const char* name : {"a.avi", "b.avi", "c.avi"})
    box.AddMission(Downloaded(box, name), "MP3 Audio(.mp3)");

  box.host.StartConvert();
  EXPECT_EQ(box.host.missions.status(0), "[Converting]");
  EXPECT_EQ(box.host.missions.status(1), "[Downloaded]");
  EXPECT_EQ(box.host.missions.status(2), "[Downloaded]");
  EXPECT_EQ(box.host.pipeline.RunningConverts, 1);
  EXPECT_EQ(box.host.pipeline.ConvertThreads.size(), 1u);

  ASSERT_TRUE(box.RunUntilIdle());
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(box.host.missions.status(row), "[Converted]") << row;
    EXPECT_TRUE(std::filesystem::exists(box.host.missions.record(row).fileName + ".mp3"));
  }
  EXPECT_EQ(box.MaxRunning(), 1);
  EXPECT_EQ(box.host.pipeline.RunningConverts, 0);
  const Lines commands = box.host.ReportsStartingWith("[Command Line]: ");
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[0], "[Command Line]: ffmpeg -i \"" + box.file("a.avi") +
                             "\" -y -f mp3 -preset medium -threads 0 \"" + box.file("a.avi") +
                             "\".mp3");
  EXPECT_NE(commands[1].find("b.avi"), std::string::npos);
  EXPECT_NE(commands[2].find("c.avi"), std::string::npos);
  ExpectStartEndPairs(box.host.reports);
}

TEST(StartConvert, LimitTwoRunsTwoAtOnce) {
  ConvertSandbox box(TestToolPath("fake_ffmpeg"));
  box.host.convertLimit = 2;
  for (const char* name : {"a.avi", "b.avi", "c.avi"})
    box.AddMission(Downloaded(box, name), "Ogg Audio(.ogg)");
  box.host.StartConvert();
  EXPECT_EQ(box.host.pipeline.RunningConverts, 2);
  EXPECT_EQ(box.host.missions.status(2), "[Downloaded]");
  ASSERT_TRUE(box.RunUntilIdle());
  EXPECT_EQ(box.MaxRunning(), 2);
  for (int row = 0; row < 3; ++row) EXPECT_EQ(box.host.missions.status(row), "[Converted]");
}

TEST(StartConvert, OneWalkPassesOverSkipsAndUnknownFormats) {
  ConvertSandbox box(TestToolPath("fake_ffmpeg"));
  const int noConvert =
      box.AddMission(Downloaded(box, "a.avi"), "MP3 Audio(.mp3)", "[Downloaded]", false);
  const int sameExt = box.AddMission(Downloaded(box, "b.mp3"), "MP3 Audio(.mp3)");
  const int unknown = box.AddMission(Downloaded(box, "c.avi"), "Zune (.wmv)");
  const int upperExt = box.AddMission(Downloaded(box, "d.MP4"), "iPad (.mp4)");
  const int existed =
      box.AddMission(Downloaded(box, "e.mp4"), "MP3 Audio(.mp3)", "[Skip] File Exists");
  const int waiting = box.AddMission(Downloaded(box, "f.flv"), "PSP (.mp4)", "[Wait for convert]");
  // A device format looks into the file: this one is no video at all.
  const int device = box.AddMission(Downloaded(box, "g.mp4"), "iPad (.mp4)");

  box.host.StartConvert();
  EXPECT_EQ(box.host.missions.status(noConvert), "[Downloaded]");
  EXPECT_EQ(box.host.missions.status(sameExt), "[Skip] format ok");
  EXPECT_EQ(box.host.missions.status(unknown), "[Error in convert]");
  EXPECT_EQ(box.host.missions.reason(unknown), "Unknown format: Zune (.wmv)");
  EXPECT_EQ(box.host.missions.status(upperExt), "[Converting]");
  EXPECT_EQ(box.host.pipeline.RunningConverts, 1);
  EXPECT_EQ(box.host.ReportsStartingWith("[c-start] ").size(), 1u);

  ASSERT_TRUE(box.RunUntilIdle());
  EXPECT_EQ(box.host.missions.status(noConvert), "[Downloaded]");
  EXPECT_EQ(box.host.missions.status(upperExt), "[Converted]");
  EXPECT_EQ(box.host.missions.status(existed), "[Converted]");
  EXPECT_EQ(box.host.missions.status(waiting), "[Converted]");
  EXPECT_EQ(box.host.missions.status(device), "[Converted]");
  EXPECT_EQ(box.host.ReportsStartingWith("[c-start] ").size(), 4u);
  // Neither the skipped nor the unknown mission got a child or an output file.
  EXPECT_FALSE(std::filesystem::exists(box.file("b.mp3.mp3")));
  for (const std::string& line : box.host.ReportsStartingWith("[Command Line]: "))
    EXPECT_EQ(line.find("c.avi"), std::string::npos) << line;
  EXPECT_TRUE(std::filesystem::exists(box.file("d.MP4.mp4")));
  EXPECT_TRUE(std::filesystem::exists(box.file("f.flv.mp4")));
  EXPECT_EQ(box.host.pipeline.RunningConverts, 0);
  ExpectStartEndPairs(box.host.reports);
}

TEST(StartConvert, NothingStartsWithoutRoomOrWorkerLists) {
  ConvertSandbox box(TestToolPath("fake_ffmpeg"));
  box.AddMission(Downloaded(box, "a.avi"), "MP3 Audio(.mp3)");
  box.AddMission(Downloaded(box, "b.mp3"), "MP3 Audio(.mp3)");

  box.host.convertLimit = 0;
  box.host.StartConvert();
  box.host.convertLimit = 1;
  box.host.pipeline.WorkerListsCreated = false;
  box.host.StartConvert();

  EXPECT_EQ(box.Statuses(0), Lines{"[Downloaded]"});
  EXPECT_EQ(box.Statuses(1), Lines{"[Downloaded]"});
  EXPECT_TRUE(box.host.reports.empty());
  EXPECT_TRUE(box.host.pipeline.ConvertThreads.empty());
  EXPECT_EQ(box.host.pipeline.RunningConverts, 0);
}

TEST(StartConvert, MissingFfmpegFailsEachMissionAndMovesOn) {
  ConvertSandbox box("");  // no ffmpeg in the application folder
  TempDir emptyBin;
  const ScopedEnv noFfmpeg("PATH", emptyBin.path());
  box.AddMission(Downloaded(box, "a.avi"), "MP3 Audio(.mp3)");
  box.AddMission(Downloaded(box, "b.avi"), "MP3 Audio(.mp3)");

  box.host.StartConvert();
  ASSERT_TRUE(box.RunUntilIdle());
  EXPECT_EQ(box.host.missions.status(0), "[Error in convert]");
  EXPECT_EQ(box.host.missions.status(1), "[Error in convert]");
  EXPECT_EQ(box.host.missions.reason(0), "ffmpeg not found");
  EXPECT_EQ(box.host.missions.reason(1), "ffmpeg not found");
  EXPECT_EQ(box.host.ReportsStartingWith("[c-start] ").size(), 2u);
  EXPECT_EQ(box.host.ReportsStartingWith("[Error] "), (Lines{"[Error] ", "[Error] "}));
  EXPECT_EQ(box.host.pipeline.RunningConverts, 0);
  ExpectStartEndPairs(box.host.reports);
}

TEST(StartConvert, ChildGetsSingleArgumentsAndNoInput) {
  ConvertSandbox box(TestToolPath("fake_ffmpeg"));
  const auto oldDir = std::filesystem::current_path();
  std::filesystem::current_path(box.file(""));
  // A relative name that looks like an option, with a blank and a quote.
  const std::string name = "-x \"y\" $PATH.avi";
  WriteFile(name, "video");
  WriteFile(name + ".ffscript",
            "args " + box.file("args.txt") + "\nstdin " + box.file("stdin.txt") + "\nwrite 5\n");
  box.AddMission(name, "Kindle Fire (.mp4)", "[Downloaded]", true, "Time First");

  box.host.StartConvert();
  const bool idle = box.RunUntilIdle();
  std::filesystem::current_path(oldDir);
  ASSERT_TRUE(idle);

  // ffmpeg writes beside the converted file, which appears on success.
  const std::string args = ReadFile(box.file("args.txt"));
  EXPECT_EQ(
      args.substr(0, args.rfind("file:")),
      "-i\nfile:" + name +
          "\n-y\n-acodec\naac\n-ab\n96k\n-vcodec\nlibx264\n-pix_fmt\nyuv420p\n-f\nmp4\n-crf\n22\n"
          "-strict\n"
          "experimental\n-preset\nsuperfast\n-threads\n0\n");
  const std::string output = args.substr(args.rfind("file:"));
  EXPECT_EQ(output.rfind("file:" + name + ".mp4.", 0), 0u) << output;
  EXPECT_TRUE(output.ends_with(".part\n")) << output;
  EXPECT_EQ(ReadFile(box.file(name + ".mp4")), "xxxxx");
  EXPECT_EQ(ReadFile(box.file("stdin.txt")), "eof");
  EXPECT_EQ(box.host.missions.status(0), "[Converted]");
  EXPECT_TRUE(std::filesystem::exists(box.file(name + ".mp4")));
  EXPECT_EQ(
      box.host.ReportsStartingWith("[Command Line]: "),
      Lines{"[Command Line]: ffmpeg -i \"" + name +
            "\" -y -acodec aac -ab 96k -vcodec libx264 -pix_fmt yuv420p -f mp4 -crf 22 -strict "
            "experimental -preset superfast -threads 0 \"" +
            name + "\".mp4"});
}

TEST(StartConvert, StopDropsTheWorkersHandOversAndStartsNothing) {
  ConvertSandbox box(TestToolPath("fake_ffmpeg"));
  const std::string slow =
      "out   Duration: 00:00:10.00, start: 0.0\\n\nsleep 100\n"
      "out size= 1kB time=00:00:05.00 bitrate= 1k\\r\nsleep 100\n"
      "out size= 1kB time=00:00:07.00 bitrate= 1k\\r\nsleep 30000\n";
  box.AddMission(Downloaded(box, "a.avi", slow), "MP3 Audio(.mp3)");
  box.AddMission(Downloaded(box, "b.avi"), "MP3 Audio(.mp3)");
  box.host.StartConvert();
  // On a busy machine both progress lines may come in one read, whose first
  // counts: 50 %.
  ASSERT_TRUE(SpinUntil([&] {
    const std::string status = box.host.missions.status(0);
    return status == "[Converting] 50%" || status == "[Converting] 70%";
  }));

  QPointer<TConvertThread> worker = box.host.pipeline.ConvertThreads.front();
  const int callsBefore = box.host.startConvertCalls;
  StopAll(box.host);
  const std::size_t changesAtStop = box.Statuses(0).size();
  // The child is ended at once and the worker frees itself, well before
  // the script's pause would have ended.
  ASSERT_TRUE(SpinUntil([&] { return worker.isNull(); }, std::chrono::seconds(5)));

  EXPECT_EQ(box.host.missions.status(0), "[Wait for convert]");
  EXPECT_EQ(box.Statuses(0).size(), changesAtStop);
  EXPECT_EQ(box.host.missions.status(1), "[Downloaded]");
  EXPECT_EQ(box.host.startConvertCalls, callsBefore);
  EXPECT_EQ(box.host.pipeline.RunningConverts, 0);
  EXPECT_TRUE(box.host.ReportsStartingWith("[Error] ").empty());
  ExpectStartEndPairs(box.host.reports);
}

TEST(TConvertThread, RowBeyondTheListIsLeftAloneButTheSlotIsFreed) {
  ConvertSandbox box(TestToolPath("fake_ffmpeg"));
  const std::string input = Downloaded(box, "a.avi");
  box.AddMission(box.file("other.avi"), "MP3 Audio(.mp3)", "[Converted]");

  auto* worker = new TConvertThread(box.host);
  worker->MissionIndex = 5;
  worker->SetArguments({TestToolPath("fake_ffmpeg"), "-i", input, "-y"});
  worker->OutputFile = input + ".mp3";
  worker->SetOnTerminate(&TConvertThread::ConvertThreadTerminate);
  worker->TakeSlot();
  box.host.pipeline.ConvertThreads.push_back(worker);
  box.host.Track(worker);
  worker->start();
  ASSERT_TRUE(box.RunUntilIdle());

  EXPECT_EQ(box.Statuses(0), Lines{"[Converted]"});
  EXPECT_EQ(box.host.pipeline.RunningConverts, 0);
  EXPECT_GE(box.host.startConvertCalls, 1);
}

}  // namespace

}  // namespace quillmarsh
