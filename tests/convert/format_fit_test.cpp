// What each format asks of a file, and whether ffprobe's description meets it.
#include "convert/FormatFit.h"

#include <gtest/gtest.h>

#include "convert/ConvertOptions.h"

namespace quillmarsh {

namespace {

TEST(FormatFit, DeviceFormatsLookIntoTheFileAudioFormatsGoByExtension) {
  for (const TFormatOption& f : FormatOptions())
    EXPECT_EQ(NeedsOf(f.args).ProbeDecides(), f.ext == ".mp4") << f.name;
  const FormatNeeds ipad = NeedsOf(GetConvertArgs("iPad (.mp4)", "Both").args);
  EXPECT_EQ(ipad.videoCodec, "h264");
  EXPECT_EQ(ipad.profile, "baseline");
  EXPECT_EQ(ipad.maxLevel, 30);
  EXPECT_EQ(ipad.pixelFormat, "yuv420p");
  EXPECT_EQ(ipad.videoBitRate, 1200000);
  EXPECT_EQ(ipad.videoMaxRate, 10000000);
  EXPECT_EQ(ipad.audioCodec, "aac");
  EXPECT_EQ(ipad.maxChannels, 2);
  const FormatNeeds psp = NeedsOf(GetConvertArgs("PSP (.mp4)", "Both").args);
  EXPECT_EQ(psp.width, 320);
  EXPECT_EQ(psp.height, 240);
  EXPECT_EQ(psp.sampleRate, 24000);
  EXPECT_NEAR(psp.frameRate, 29.97, 1e-9);
}

const char* const kProbed =
    "streams.stream.0.codec_name=\"h264\"\n"
    "streams.stream.0.profile=\"Constrained Baseline\"\n"
    "streams.stream.0.codec_type=\"video\"\n"
    "streams.stream.0.width=640\n"
    "streams.stream.0.height=360\n"
    "streams.stream.0.pix_fmt=\"yuv420p\"\n"
    "streams.stream.0.level=30\n"
    "streams.stream.0.r_frame_rate=\"30000/1001\"\n"
    "streams.stream.0.bit_rate=\"1100000\"\n"
    "some error line ffprobe printed\n"
    "streams.stream.1.codec_name=\"aac\"\n"
    "streams.stream.1.codec_type=\"audio\"\n"
    "streams.stream.1.sample_rate=\"44100\"\n"
    "streams.stream.1.channels=2\n"
    "streams.stream.1.bit_rate=\"128000\"\n"
    "streams.stream.7.codec_type=\"video\"\n";

TEST(FormatFit, ReadsFfprobesFlatStreams) {
  const std::vector<ProbedStream> s = ParseProbeOutput(kProbed);
  ASSERT_EQ(s.size(), 2u) << "stream 7 without 2 to 6 is none of ffprobe's";
  EXPECT_EQ(s[0].profile, "Constrained Baseline");
  EXPECT_EQ(s[0].level, 30);
  EXPECT_EQ(s[0].width, 640);
  EXPECT_NEAR(s[0].frameRate, 29.97, 0.001);
  EXPECT_EQ(s[0].bitRate, 1100000);
  EXPECT_EQ(s[1].type, "audio");
  EXPECT_EQ(s[1].channels, 2);
  EXPECT_EQ(s[1].sampleRate, 44100);
}

TEST(FormatFit, EveryNeedMustBeMet) {
  const FormatNeeds ipad = NeedsOf(GetConvertArgs("iPad (.mp4)", "Both").args);
  const std::vector<ProbedStream> fitting = ParseProbeOutput(kProbed);
  EXPECT_TRUE(FitsFormat(fitting, ipad));
  const struct {
    const char* name;
    void (*spoil)(ProbedStream& video, ProbedStream& audio);
  } cases[] = {
      {"High profile", [](ProbedStream& v, ProbedStream&) { v.profile = "High"; }},
      {"4:4:4", [](ProbedStream& v, ProbedStream&) { v.pixelFormat = "yuv444p"; }},
      {"10-bit", [](ProbedStream& v, ProbedStream&) { v.pixelFormat = "yuv420p10le"; }},
      {"level 4.0", [](ProbedStream& v, ProbedStream&) { v.level = 40; }},
      {"unknown level", [](ProbedStream& v, ProbedStream&) { v.level = 0; }},
      {"HEVC", [](ProbedStream& v, ProbedStream&) { v.codec = "hevc"; }},
      {"bitrate far above", [](ProbedStream& v, ProbedStream&) { v.bitRate = 1500000; }},
      {"unknown bitrate", [](ProbedStream& v, ProbedStream&) { v.bitRate = 0; }},
      {"MP3 sound", [](ProbedStream&, ProbedStream& a) { a.codec = "mp3"; }},
      {"5.1 sound", [](ProbedStream&, ProbedStream& a) { a.channels = 6; }},
  };
  for (const auto& c : cases) {
    std::vector<ProbedStream> spoilt = fitting;
    c.spoil(spoilt[0], spoilt[1]);
    EXPECT_FALSE(FitsFormat(spoilt, ipad)) << c.name;
  }
  EXPECT_FALSE(FitsFormat({fitting[1]}, ipad)) << "no picture at all";
  EXPECT_FALSE(FitsFormat(fitting, NeedsOf(GetConvertArgs("PSP (.mp4)", "Both").args)))
      << "not 320x240";
}

}  // namespace

}  // namespace quillmarsh
