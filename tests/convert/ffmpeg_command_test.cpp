#include "convert/FfmpegCommand.h"
#include "shared/FindProgram.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quillmarsh {

namespace fs = std::filesystem;

namespace {

using Argv = std::vector<std::string>;

TEST(BuildFfmpegCommand, ReportTextAndArgumentVector) {
  const FfmpegCommand cmd = BuildFfmpegCommand("/opt/app/ffmpeg", "/home/u/Video Download/clip.flv",
                                               "-f mp3 -preset medium ", ".mp3");
  EXPECT_EQ(cmd.text,
            "ffmpeg -i \"/home/u/Video Download/clip.flv\" -y -f mp3 -preset medium -threads 0 "
            "\"/home/u/Video Download/clip.flv\".mp3");
  EXPECT_EQ(cmd.argv, (Argv{"/opt/app/ffmpeg", "-i", "/home/u/Video Download/clip.flv", "-y", "-f",
                            "mp3", "-preset", "medium", "-threads", "0"}))
      << "the worker adds the temporary file it makes";
  EXPECT_EQ(cmd.outputFile, "/home/u/Video Download/clip.flv.mp3");
}

TEST(BuildFfmpegCommand, PathsThatCouldBeOptionsOrProtocolsGetFilePrefix) {
  struct Case {
    std::string input, in;
  };
  const Case cases[] = {
      {"-x.mp3", "file:-x.mp3"},
      {"concat:a.mp4|b.mp4", "file:concat:a.mp4|b.mp4"},
      {"", "file:"},
      {"/tmp/$PATH \"q\" .avi", "/tmp/$PATH \"q\" .avi"},
  };
  for (const Case& c : cases) {
    const FfmpegCommand cmd = BuildFfmpegCommand("ff", c.input, "-vn  -aq 60 ", ".ogg");
    EXPECT_EQ(cmd.argv, (Argv{"ff", "-i", c.in, "-y", "-vn", "-aq", "60", "-threads", "0"}))
        << c.input;
    EXPECT_EQ(cmd.outputFile, c.input + ".ogg");
    EXPECT_EQ(FfmpegFileArgument(cmd.outputFile), c.in + ".ogg");
  }
}

class FindProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("qm-findprogram-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    for (const char* d : {"app", "bin1", "bin2", "empty"}) fs::create_directories(root_ / d);
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string Dir(const char* name) const { return (root_ / name).string(); }
  void MakeFfmpeg(const char* dir, bool executable = true) const {
    const fs::path p = root_ / dir / "ffmpeg";
    std::ofstream(p) << "#!/bin/sh\n";
    ::chmod(p.c_str(), executable ? 0755 : 0644);
  }

  fs::path root_;
};

TEST_F(FindProgramTest, ApplicationFolderComesFirst) {
  MakeFfmpeg("app");
  MakeFfmpeg("bin1");
  const std::string path = Dir("bin1");
  EXPECT_EQ(FindProgram("ffmpeg", Dir("app") + "/", path.c_str()), Dir("app") + "/ffmpeg");
}

TEST_F(FindProgramTest, SearchPathInOrderSkippingNonExecutables) {
  MakeFfmpeg("bin1", false);
  MakeFfmpeg("bin2");
  const std::string path = Dir("empty") + ":" + Dir("bin1") + ":" + Dir("bin2");
  EXPECT_EQ(FindProgram("ffmpeg", Dir("app") + "/", path.c_str()), Dir("bin2") + "/ffmpeg");
}

TEST_F(FindProgramTest, NeverTheCurrentFolder) {
  MakeFfmpeg("bin1");
  const fs::path old = fs::current_path();
  fs::current_path(root_ / "bin1");
  EXPECT_EQ(FindProgram("ffmpeg", "", ":.:bin1::"), "");
  EXPECT_EQ(FindProgram("ffmpeg", "bin1/", nullptr), "");
  EXPECT_EQ(FindProgram("ffmpeg", "", ""), "");
  fs::current_path(old);
}

TEST_F(FindProgramTest, FolderNamedFfmpegIsNotTheProgram) {
  fs::create_directories(root_ / "app" / "ffmpeg");
  MakeFfmpeg("bin1");
  const std::string path = Dir("bin1");
  EXPECT_EQ(FindProgram("ffmpeg", Dir("app") + "/", path.c_str()), Dir("bin1") + "/ffmpeg");
}

}  // namespace

}  // namespace quillmarsh
