// What each format asks of a file, and whether ffprobe's description meets it.
#include "convert/FormatFit.h"

#include <gtest/gtest.h>

#include "convert/ConvertOptions.h"

namespace quillmarsh {

namespace {

const char* const kFitsIpad =
    "streams.stream.0.codec_name=\"h264\"\nstreams.stream.0.profile=\"Constrained Baseline\"\n"
    "streams.stream.0.codec_type=\"video\"\nstreams.stream.0.pix_fmt=\"yuv420p\"\n"
    "streams.stream.0.level=30\nstreams.stream.0.bit_rate=\"1100000\"\n"
    "some error line ffprobe printed\n"
    "streams.stream.1.codec_name=\"aac\"\nstreams.stream.1.codec_type=\"audio\"\n"
    "streams.stream.1.channels=2\nstreams.stream.1.bit_rate=\"128000\"\n"
    "streams.stream.7.codec_type=\"audio\"\n";

TEST(FormatFit, DeviceFormatsLookIntoTheFileAudioFormatsGoByExtension) {
  for (const TFormatOption& f : FormatOptions())
    EXPECT_EQ(NeedsOf(f.args).ProbeDecides(), f.ext == ".mp4") << f.name;
  const FormatNeeds psp = NeedsOf(GetConvertArgs("PSP (.mp4)", "Both").args);
  EXPECT_EQ(psp.width * 1000 + psp.height, 320240);
  EXPECT_EQ(psp.videoBitRate, 512000);
  EXPECT_NEAR(psp.frameRate, 29.97, 1e-9);
}

TEST(FormatFit, EveryNeedMustBeMet) {
  const FormatNeeds ipad = NeedsOf(GetConvertArgs("iPad (.mp4)", "Both").args);
  const std::vector<ProbedStream> fitting = ParseProbeOutput(kFitsIpad);
  ASSERT_EQ(fitting.size(), 2u) << "stream 7 without 2 to 6 is none of ffprobe's";
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
