// The conversion worker against a scripted ffmpeg: what each kind of
// progress output and each way of ending does to the row and the slot.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "missions/MissionStatus.h"
#include "support/ConvertSandbox.h"
#include "support/QtTestApp.h"
#include "support/TempDir.h"

namespace quillmarsh {

namespace {

using Lines = std::vector<std::string>;

// Each output is read as a chunk of its own, however slow the reader.
std::string Out(const std::string& text) {
  return "out " + text + "\ndrain\nsleep 150\n";
}
std::string Duration(const std::string& t) {
  return Out("Input #0, avi, from 'clip.avi':\\n  Duration: " + t +
             ", start: 0.000000, bitrate: 1000 kb/s\\n");
}
std::string Time(const std::string& t) {
  return Out("frame=  100 fps=50 q=2.0 size=     100kB time=" + t +
             " bitrate= 800.0kbits/s speed=10x    \\r");
}
const std::string kWriteOutput = "write 100\n";

bool Has(const Lines& lines, const std::string& text) {
  return std::find(lines.begin(), lines.end(), text) != lines.end();
}

struct Case {
  const char* name;
  std::string script;
  Lines mustShow;  // statuses the row showed on the way
  Lines mustNotShow;
  std::string finalStatus;
  int finalProgress;
  int doneReports;   // "[Convert done] " lines
  Lines mustReport;  // exact report lines
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

std::vector<Case> Cases() {
  const std::string d = Duration("00:03:25.45");
  return {
      {"HalfThenFailure",
       d + Time("00:01:42.72") + "exit 1\n",
       {"[Converting] 49%"},
       {"[Converted]"},
       "[Error in convert]",
       49,
       0,
       {}},
      {"ExactlyHundred",
       d + Time("00:03:25.45") + "sleep 300\n" + kWriteOutput,
       {"[Converting] 100%", "[Converted]"},
       {},
       "[Converted]",
       100,
       1,
       {}},
      {"NinetyNineThenFailure",
       d + Time("00:03:25.44") + "exit 1\n",
       {"[Converting] 99%"},
       {"[Converted]"},
       "[Error in convert]",
       99,
       0,
       {}},
      {"NinetyNineThenSuccess",
       d + Time("00:03:25.44") + kWriteOutput + "exit 0\n",
       {"[Converting] 99%", "[Converted]"},
       {},
       "[Converted]",
       100,
       1,
       {}},
      {"HundredAndOne",
       d + Time("00:03:27.51") + "exit 1\n",
       {"[Converting] 101%"},
       {"[Converted]"},
       "[Error in convert]",
       101,
       0,
       {}},
      {"OnlyFirstTimeOfChunkCounts",
       d + Out("time=00:01:42.72 bitrate= 1k\\rtime=00:03:25.45 bitrate= 1k\\r") + "exit 1\n",
       {"[Converting] 49%"},
       {"[Converted]"},
       "[Error in convert]",
       49,
       0,
       {}},
      {"TimeBeforeAnyDuration",
       Time("00:01:42.72") + d + "exit 1\n",
       {},
       {"[Converting] 49%"},
       "[Error in convert]",
       0,
       0,
       {}},
      {"DurationWithoutColon",
       d + Out("Duration unknown, guessing\\n") + Time("00:01:42.72") + "exit 1\n",
       {},
       {"[Converting] 49%"},
       "[Error in convert]",
       0,
       0,
       {}},
      {"DurationNotAvailable",
       Duration("N/A") + Time("00:01:42.72") + "exit 1\n",
       {},
       {"[Converting] 49%"},
       "[Error in convert]",
       0,
       0,
       {}},
      {"DurationOfHundredHours",
       Duration("100:00:00.00") + Time("00:01:42.72") + "exit 1\n",
       {},
       {"[Converting] 0%"},
       "[Error in convert]",
       0,
       0,
       {}},
      {"ZeroDuration",
       Duration("00:00:00.00") + Time("00:00:00.00") + "exit 1\n",
       {},
       {"[Converted]"},
       "[Error in convert]",
       0,
       0,
       {}},
      {"ErrorTextOnlyReports",
       d + Time("00:01:42.72") + Out("[mp3 @ 0x1] Error while decoding frame\\nlast words\\n") +
           kWriteOutput,
       {"[Converting] 49%", "[Converted]"},
       {"[Error in convert]"},
       "[Converted]",
       100,
       1,
       {"[Error] last words"}},
      {"HundredThenWriteFailureSplitOverChunks",
       d + Time("00:03:25.45") + Out("av_interleaved_write_frame(): No space le") +
           Out("ft on device\\n") + kWriteOutput,
       {"[Converting] 100%"},
       {"[Converted]"},
       "[Error in convert]",
       100,
       1,
       {}},
      {"ConversionFailedText",
       d + Time("00:03:25.44") + Out("Conversion failed!\\n") + kWriteOutput,
       {},
       {"[Converted]"},
       "[Error in convert]",
       99,
       0,
       {}},
      {"HundredThenNonZeroStatus",
       d + Time("00:03:25.45") + kWriteOutput + "exit 1\n",
       {"[Converting] 100%"},
       {"[Converted]"},
       "[Error in convert]",
       100,
       1,
       {}},
      {"StatusZeroWithoutOutputFile",
       d + Time("00:03:25.44") + "exit 0\n",
       {},
       {"[Converted]"},
       "[Error in convert]",
       99,
       0,
       {}},
      {"StatusZeroWithEmptyOutputFile",
       d + Time("00:03:25.44") + "write 0\nexit 0\n",
       {},
       {"[Converted]"},
       "[Error in convert]",
       99,
       0,
       {}},
      {"RepeatedHundredReleasesOnce",
       d + Time("00:03:25.45") + Time("00:03:25.45") + kWriteOutput,
       {"[Converting] 100%", "[Converted]"},
       {},
       "[Converted]",
       100,
       2,
       {}},
  };
}

// A mission whose downloaded "clip.avi" the fake ffmpeg converts by `script`.
int AddScripted(ConvertSandbox& box, const std::string& script) {
  const std::string input = box.file("clip.avi");
  WriteFile(input, "video");
  WriteFile(input + ".ffscript", script);
  return box.AddMission(input, "MP3 Audio(.mp3)");
}

class ConvertProgress : public ::testing::TestWithParam<Case> {};

TEST_P(ConvertProgress, RowAndSlotFollowTheOutput) {
  const Case& c = GetParam();
  ConvertSandbox box(TestToolPath("fake_ffmpeg"));
  const int row = AddScripted(box, c.script);

  box.host.StartConvert();
  ASSERT_EQ(box.host.pipeline.RunningConverts, 1);
  ASSERT_TRUE(box.RunUntilIdle());

  const Lines& shown = box.Statuses(row);
  for (const std::string& s : c.mustShow) EXPECT_TRUE(Has(shown, s)) << s;
  for (const std::string& s : c.mustNotShow) EXPECT_FALSE(Has(shown, s)) << s;
  EXPECT_EQ(box.host.missions.status(row), c.finalStatus);
  EXPECT_EQ(box.host.missions.record(row).progress, c.finalProgress);
  EXPECT_EQ(box.host.ReportsStartingWith("[Convert done] ").size(),
            static_cast<std::size_t>(c.doneReports));
  for (const std::string& r : c.mustReport) EXPECT_TRUE(Has(box.host.reports, r)) << r;
  // The slot is released exactly once, whatever happened.
  EXPECT_EQ(box.host.pipeline.RunningConverts, 0);
  EXPECT_LE(box.MaxRunning(), 1);
  if (c.finalStatus == Status::Converted) {
    EXPECT_EQ(box.host.missions.subItem(row, SubSpeed), "");
    EXPECT_EQ(box.host.missions.subItem(row, SubEta), "");
  } else {
    EXPECT_EQ(box.host.ReportsStartingWith("[Error] ").empty(), false);
  }
  ExpectStartEndPairs(box.host.reports);
}

INSTANTIATE_TEST_SUITE_P(Fake, ConvertProgress, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Why a conversion failed: ffmpeg's last error line (its closing summary only
// when it printed nothing else), else its exit status, else the missing output.
TEST(ConvertFailure, RowKeepsTheReasonAsItsTooltip) {
  const std::string d = Duration("00:03:25.45");
  struct Reason {
    const char* name;
    std::string script;
    std::string reason;  // "" for a conversion that succeeds
  };
  const Reason cases[] = {
      {"StatusOnly", d + Time("00:01:42.72") + "exit 3\n", "ffmpeg ended with exit status 3"},
      {"LastErrorLine",
       d + Out("[mp3 @ 0x1] Error while decoding frame\\nclip.avi: Invalid data found\\n") +
           "exit 1\n",
       "clip.avi: Invalid data found"},
      {"MessageBeforeSummary",
       d + Out("av_interleaved_write_frame(): No space left on device\\nConversion failed!\\n") +
           kWriteOutput,
       "av_interleaved_write_frame(): No space left on device"},
      {"SummaryAlone", d + Out("Conversion failed!\\n") + "exit 1\n", "Conversion failed!"},
      {"NoOutputFile", d + Time("00:03:25.44") + "exit 0\n", "ffmpeg wrote no output file: "},
      {"Success", d + Out("[mp3 @ 0x1] Error while decoding frame\\n") + kWriteOutput, ""},
  };
  for (const Reason& c : cases) {
    SCOPED_TRACE(c.name);
    ConvertSandbox box(TestToolPath("fake_ffmpeg"));
    const int row = AddScripted(box, c.script);
    const std::string input = box.file("clip.avi");
    box.host.StartConvert();
    ASSERT_TRUE(box.RunUntilIdle());
    std::string reason = c.reason;
    if (reason == "ffmpeg wrote no output file: ") reason += input + ".mp3";
    EXPECT_EQ(box.host.missions.status(row), reason.empty() ? "[Converted]" : "[Error in convert]");
    EXPECT_EQ(box.host.missions.reason(row), reason);
    if (!reason.empty()) {
      EXPECT_EQ(box.host.missions.index(row, ColProgress).data(Qt::ToolTipRole).toString(),
                QString::fromStdString(reason));
      EXPECT_TRUE(Has(box.host.reports,
                      "[Error in convert] " + box.host.missions.url(row) + " -> " + reason));
    }
  }
}

}  // namespace

}  // namespace quillmarsh
