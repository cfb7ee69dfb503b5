#pragma once
// Whether a downloaded file already is what a device format asks for, so
// that converting it again would gain nothing. ffprobe describes the file;
// the format's own option text says what it asks for. Plain C++.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmarsh {

// One stream as ffprobe describes it; unknown numbers stay 0.
struct ProbedStream {
  std::string type;  // "video", "audio", ...
  std::string codec;
  std::string profile;
  std::string pixelFormat;
  int level = 0;
  int width = 0;
  int height = 0;
  std::int64_t bitRate = 0;
  double frameRate = 0;
  int sampleRate = 0;
  int channels = 0;
};

// What a format's option text fixes; empty or 0 where it fixes nothing.
struct FormatNeeds {
  std::string videoCodec;  // as ffprobe names it ("h264" for libx264)
  std::string profile;
  int maxLevel = 0;
  std::string pixelFormat;
  int width = 0;
  int height = 0;
  std::int64_t videoBitRate = 0;  // a target: met within kBitRateTolerance
  std::int64_t videoMaxRate = 0;  // a limit
  double frameRate = 0;
  std::string audioCodec;
  std::int64_t audioBitRate = 0;  // a target, like the video's
  int sampleRate = 0;
  int maxChannels = 0;

  // True when the options set a video codec, profile, level, pixel format,
  // size or bitrate: only a look into the file can tell whether it fits.
  // Otherwise (audio and container-only formats) the extension decides.
  bool ProbeDecides() const;
};

// An encoder's output lies this far above its bitrate target and still met it.
inline constexpr double kBitRateTolerance = 1.2;

FormatNeeds NeedsOf(std::string_view formatArgs);

// Reads ffprobe's "-of flat" stream lines (streams.stream.N.key=value).
std::vector<ProbedStream> ParseProbeOutput(std::string_view text);

// True when the file has a video stream and every video and audio stream
// meets every need. A need whose value ffprobe did not report is not met.
bool FitsFormat(const std::vector<ProbedStream>& streams, const FormatNeeds& needs);

// The ffprobe command that describes `file`'s streams for ParseProbeOutput.
std::vector<std::string> ProbeArguments(const std::string& ffprobePath, const std::string& file);

}  // namespace quillmarsh
