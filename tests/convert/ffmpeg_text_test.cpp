#include "convert/FfmpegText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/FfmpegMessages.h"

namespace quillmarsh {

namespace {

TEST(TimeToSeconds, ReadsElevenCharacterTimesOnly) {
  struct Case {
    const char* text;
    double seconds;
  };
  const Case cases[] = {
      {"00:03:25.45", 205.45},
      {"00:01:42.72", 102.72},
      {"1:02:03.456", 3723.456},  // only the length is fixed
      {"99:59:59.99", 359999.99},
      {"00:00:00.00", 0},
      {"100:00:00.00", -1},  // 12 characters
      {"N/A", -1},
      {"", -1},
      {"0:03:25.45", -1},   // 10 characters
      {"00:03:25,45", -1},  // comma is not ffmpeg's decimal point
      {"0a:03:25.45", -1},
      {"00:0.:25.45", -1},  // minutes must be whole
      {"-0:03:25.45", -1},
      {"00:03:-5.45", -1},
      {"00:03:25.4x", -1},
      {"00:0325.45x", -1},   // one colon only
      {"00::325.456", -1},   // empty minutes
      {"00:03:25.45 ", -1},  // trailing blank makes 12
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(TimeToSeconds(c.text), c.seconds) << '"' << c.text << '"';
  }
}

TEST(GetLastLine, TakesTheLastLineOfAnyBreakStyle) {
  struct Case {
    std::string text;
    std::string last;
  };
  const Case cases[] = {
      {"", ""},
      {"one", "one"},
      {"one\r\ntwo", "two"},
      {"one\rtwo\nthree", "three"},
      {"one\ntwo\n", "two"},  // a final break starts no line
      {"one\r\n", "one"},
      {"one\n\n", ""},  // the empty line before the final break counts
      {"\n", ""},
      {"a\r\rb\r", "b"},
      {"Error opening input\nclip.avi: No such file or directory",
       "clip.avi: No such file or directory"},
  };
  for (const Case& c : cases) EXPECT_EQ(GetLastLine(c.text), c.last) << '"' << c.text << '"';
}

TEST(HasFatalFfmpegText, FindsEachWriteFailure) {
  EXPECT_TRUE(HasFatalFfmpegText("av_interleaved_write_frame(): No space left on device"));
  EXPECT_TRUE(HasFatalFfmpegText("Error writing trailer of x.mp4: No space left"));
  EXPECT_TRUE(HasFatalFfmpegText("Error closing file x.mp4"));
  EXPECT_TRUE(HasFatalFfmpegText("...\nConversion failed!\n"));
  EXPECT_FALSE(HasFatalFfmpegText("Error while decoding stream #0:0"));
  EXPECT_FALSE(HasFatalFfmpegText("conversion failed"));  // case-sensitive
}

TEST(FfmpegMessages, CountsFailureWordsOnlyOutsideTheFileNames) {
  const std::vector<std::string> argv = {"ffmpeg", "-i",  "file:No space left on device.avi", "-y",
                                         "-f",     "mp3", "/v/Conversion failed!.avi.mp3"};
  struct Case {
    const char* name;
    std::vector<std::string> chunks;
    bool fatal;
  };
  const Case cases[] = {
      {"InputEcho", {"Input #0, avi, from 'file:No space left on device.avi':\n"}, false},
      {"InputEchoWithoutPrefix", {"[avi @ 0x1] No space left on device.avi: bad header\n"}, false},
      {"OutputEchoSplit", {"Output #0, mp3, to '/v/Conversion fa", "iled!.avi.mp3':\n"}, false},
      {"OptionNotice",
       {"preset for output file #0 (/v/Conversion failed!.avi.mp3) unused\n"},
       false},
      {"OwnMessageSplit", {"Conversion fai", "led!\n"}, true},
      {"OwnMessageWithoutBreak", {"x\rError closing file /v/a.mp3"}, true},
      {"OwnWordsBesideAName", {"Error writing trailer of /v/Conversion failed!.avi.mp3\n"}, true},
      {"AfterAnEchoLine", {"Output #0, mp3, to 'a':\nNo space left on device\n"}, true},
  };
  for (const Case& c : cases) {
    FfmpegMessages messages;
    messages.SetFileNames(argv);
    for (const std::string& chunk : c.chunks) messages.Add(chunk);
    messages.End();
    EXPECT_EQ(messages.FatalTextSeen(), c.fatal) << c.name;
  }
}

}  // namespace

}  // namespace quillmarsh
