// The whole conversion path with the real ffmpeg on clips made here.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "convert/ConvertOptions.h"
#include "convert/FormatFit.h"
#include "platform/ConsoleProcess.h"
#include "platform/RunProgram.h"
#include "support/ConvertSandbox.h"
#include "support/TempDir.h"
#include "support/TestMedia.h"

namespace quillmarsh {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// How many entries a folder holds.
std::ptrdiff_t EntriesIn(const std::string& dir) {
  return std::distance(fs::directory_iterator(dir), fs::directory_iterator());
}

class RealFfmpeg : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!fs::exists(kFfmpeg)) return;
    clips_ = std::make_unique<TempDir>();
    // Long enough that ffmpeg reports progress (twice a second) on the way.
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc=duration=16:size=640x360:rate=25", "-f", "lavfi", "-i",
               "sine=duration=16", "-pix_fmt", "yuv420p", "-c:v", "mpeg4", "-q:v", "5", "-c:a",
               "libmp3lame", clips_->file("video.avi")});
    RunFfmpeg({"-f", "lavfi", "-i", "sine=duration=600:sample_rate=22050", "-c:a", "libmp3lame",
               "-b:a", "32k", clips_->file("audio.mka")});
  }
  static void TearDownTestSuite() { clips_.reset(); }

  void SetUp() override {
    if (!fs::exists(kFfmpeg)) GTEST_SKIP() << kFfmpeg << " is not installed";
    ASSERT_TRUE(fs::exists(clips_->file("video.avi")) && fs::exists(clips_->file("audio.mka")))
        << "could not make the test clips";
  }

  static std::unique_ptr<TempDir> clips_;
};
std::unique_ptr<TempDir> RealFfmpeg::clips_;

class EachFormat : public RealFfmpeg, public ::testing::WithParamInterface<std::string> {};

TEST_P(EachFormat, ConvertsNextToTheInputWithRisingPercentages) {
  const std::string format = GetParam();
  const ConvertArgs args = GetConvertArgs(format, "Quality First");
  ASSERT_TRUE(args.found);
  const bool audio = args.ext != ".mp4";
  ConvertSandbox box(kFfmpeg);
  const std::string input = box.file(audio ? "talk show.mka" : "my clip.avi");
  fs::copy_file(clips_->file(audio ? "audio.mka" : "video.avi"), input);
  const int row = box.AddMission(input, format, "[Downloaded]", true, "Quality First");

  box.host.StartConvert();
  ASSERT_TRUE(box.RunUntilIdle(120s));

  EXPECT_EQ(box.host.missions.status(row), "[Converted]")
      << (box.host.logs.empty() ? "" : box.host.logs.back());
  EXPECT_EQ(box.host.missions.record(row).progress, 100);
  const std::vector<int>& percents = box.Percents(row);
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_TRUE(std::any_of(percents.begin(), percents.end(), [](int p) { return p > 0 && p < 100; }))
      << "no percentage between 0 and 100 was shown";
  const std::string output = input + args.ext;
  ASSERT_TRUE(fs::exists(output));
  EXPECT_GT(fs::file_size(output), 1000u);
  EXPECT_EQ(fs::file_size(input), fs::file_size(clips_->file(audio ? "audio.mka" : "video.avi")));
  EXPECT_EQ(box.host.ReportsStartingWith("[Convert done] ").size(), 1u);
  EXPECT_EQ(box.host.pipeline.RunningConverts, 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, EachFormat,
                         ::testing::Values("iPad (.mp4)", "iPod (.mp4)", "iPhone (.mp4)",
                                           "PSP (.mp4)", "Samsung Galaxy (.mp4)",
                                           "Kindle Fire (.mp4)", "MP3 Audio(.mp3)",
                                           "Ogg Audio(.ogg)"),
                         [](const auto& info) {
                           std::string name;
                           for (char c : info.param)
                             if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                           return name;
                         });

// ffmpeg echoes the file names ("Input #0, avi, from '...'", "Output #0,
// mp3, to '...'"); a title holding its failure words is no failure.
TEST_F(RealFfmpeg, TitleWithFailureWordsConverts) {
  ConvertSandbox box(kFfmpeg);
  const std::string input = box.file("Conversion failed! (live).avi");
  fs::copy_file(clips_->file("video.avi"), input);
  const int row = box.AddMission(input, "MP3 Audio(.mp3)");
  box.host.StartConvert();
  ASSERT_TRUE(box.RunUntilIdle(60s));
  std::string log;
  for (const std::string& chunk : box.host.logs) log += chunk;
  EXPECT_EQ(box.host.missions.status(row), "[Converted]") << log;
  EXPECT_GT(fs::file_size(input + ".mp3"), 1000u);
  EXPECT_NE(log.find("(live).avi.mp3."), std::string::npos)
      << "ffmpeg no longer echoes the output name: the test proves nothing";
}

TEST_F(RealFfmpeg, UnreadableInputEndsInError) {
  ConvertSandbox box(kFfmpeg);
  const std::string input = box.file("broken.avi");
  WriteFile(input, "this is no video at all\n");
  box.AddMission(input, "MP3 Audio(.mp3)");
  box.host.StartConvert();
  ASSERT_TRUE(box.RunUntilIdle(60s));
  EXPECT_EQ(box.host.missions.status(0), "[Error in convert]");
  EXPECT_EQ(box.host.missions.reason(0), input + ": Invalid data found when processing input");
  EXPECT_FALSE(box.host.ReportsStartingWith("[Error] ").empty());
  EXPECT_EQ(box.host.pipeline.RunningConverts, 0);
  EXPECT_EQ(EntriesIn(box.file("")), 2) << "app/ and the input: no output, no temporary file";
}

// The baseline profile holds 4:2:0 pictures only; a 4:4:4 source converts.
TEST_F(RealFfmpeg, BaselineFormatsConvertAnyPixelFormat) {
  ConvertSandbox box(kFfmpeg);
  const std::string input = box.file("full chroma.mkv");
  ASSERT_TRUE(RunFfmpeg({"-f", "lavfi", "-i", "testsrc=duration=2:size=160x120:rate=10", "-c:v",
                         "libx264", "-pix_fmt", "yuv444p", input}));
  for (const char* format : {"iPad (.mp4)", "Samsung Galaxy (.mp4)"}) {
    const int row = box.AddMission(input, format);
    box.host.StartConvert();
    ASSERT_TRUE(box.RunUntilIdle(60s));
    EXPECT_EQ(box.host.missions.status(row), "[Converted]")
        << format << box.host.missions.reason(row);
    box.host.missions.setStatus(row, "[Converted]");
  }
  EXPECT_GT(fs::file_size(input + ".mp4"), 1000u);
}

std::vector<ProbedStream> Probe(const std::string& file) {
  const ProgramResult r = RunProgram(ProbeArguments("/usr/bin/ffprobe", file), 60s, nullptr);
  return r.exitStatus == 0 ? ParseProbeOutput(r.output) : std::vector<ProbedStream>();
}

// Downloads as they come today: .mp4 in any profile and pixel format. Each
// device format turns them into what its options ask for; a file that
// already fits is left as it is.
TEST_F(RealFfmpeg, DeviceFormatsGiveFittingFilesAndSkipOnlyWhatFits) {
  ConvertSandbox box(kFfmpeg);
  const auto make = [&](const std::string& name, std::vector<std::string> video) {
    std::vector<std::string> args = {
        "-f",   "lavfi",  "-i", "testsrc=duration=2:size=320x180:rate=25",
        "-f",   "lavfi",  "-i", "sine=duration=2",
        "-c:v", "libx264"};
    args.insert(args.end(), video.begin(), video.end());
    args.insert(args.end(), {"-c:a", "aac", "-ac", "2", box.file(name)});
    EXPECT_TRUE(RunFfmpeg(args)) << name;
    return box.file(name);
  };
  const std::string sources[] = {make("high 444.mp4", {"-pix_fmt", "yuv444p"}),
                                 make("high 10.mp4", {"-pix_fmt", "yuv420p10le"})};
  const std::string fitting = make("fits.mp4", {"-pix_fmt", "yuv420p", "-profile:v", "baseline",
                                                "-level", "30", "-b:v", "300k"});
  for (const TFormatOption& format : FormatOptions()) {
    if (!NeedsOf(format.args).ProbeDecides()) continue;
    for (const std::string& source : sources) {
      SCOPED_TRACE(format.name + " from " + source);
      const std::string input = source + " for " + format.name + ".mp4";
      fs::copy_file(source, input);
      const int row = box.AddMission(input, format.name);
      box.host.StartConvert();
      ASSERT_TRUE(box.RunUntilIdle(120s));
      EXPECT_EQ(box.host.missions.status(row), "[Converted]") << box.host.missions.reason(row);
      EXPECT_TRUE(FitsFormat(Probe(input + ".mp4"), NeedsOf(format.args)));
      EXPECT_FALSE(FitsFormat(Probe(input), NeedsOf(format.args))) << "the source did not fit";
    }
  }
  const int fits = box.AddMission(fitting, "iPad (.mp4)");
  box.host.StartConvert();
  ASSERT_TRUE(box.RunUntilIdle(60s));
  EXPECT_EQ(box.host.missions.status(fits), "[Skip] format ok");
  EXPECT_FALSE(fs::exists(fitting + ".mp4"));
  EXPECT_EQ(box.host.pipeline.RunningConverts, 0);
  ExpectStartEndPairs(box.host.reports);
}

// ffmpeg 5.1 exits with status 0 here although the output was cut short.
TEST_F(RealFfmpeg, FullFileSystemEndsInError) {
  TempDir mountPoint;
  if (::mount("tmpfs", mountPoint.path().c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a 64 KiB tmpfs here: " << std::strerror(errno);
  struct Unmount {
    std::string dir;
    ~Unmount() { ::umount2(dir.c_str(), MNT_DETACH); }
  } unmount{mountPoint.path()};

  // A small input whose conversion to AAC at 160k needs far more than 64 KiB.
  const std::string input = mountPoint.file("small.avi");
  ASSERT_TRUE(
      RunFfmpeg({"-f",       "lavfi",   "-i",   "color=c=blue:duration=10:size=160x120:rate=10",
                 "-f",       "lavfi",   "-i",   "anoisesrc=d=10:r=8000",
                 "-pix_fmt", "yuv420p", "-c:v", "mpeg4",
                 "-q:v",     "31",      "-c:a", "libmp3lame",
                 "-b:a",     "8k",      "-ac",  "1",
                 input}));
  ConvertSandbox box(kFfmpeg);
  box.AddMission(input, "iPad (.mp4)");
  box.host.StartConvert();
  ASSERT_TRUE(box.RunUntilIdle(60s));
  EXPECT_EQ(box.host.missions.status(0), "[Error in convert]");
  EXPECT_EQ(box.host.pipeline.RunningConverts, 0);
  EXPECT_EQ(EntriesIn(mountPoint.path()), 1) << "the cut-short file is gone";
}

}  // namespace

}  // namespace quillmarsh
