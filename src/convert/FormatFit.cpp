#include "convert/FormatFit.h"

#include <algorithm>
#include <cmath>

#include "shared/Numbers.h"
#include "shared/Text.h"
#include "convert/FfmpegCommand.h"

namespace quillmarsh {

namespace {
// "1200k", "10000000", "2M" as bits per second; 0 when unreadable.
std::int64_t ReadBitRate(std::string_view text) {
  std::int64_t factor = 1;
  if (!text.empty() && (text.back() == 'k' || text.back() == 'K')) factor = 1000;
  if (!text.empty() && text.back() == 'M') factor = 1000000;
  if (factor != 1) text.remove_suffix(1);
  return ReadWholeNumber<std::int64_t>(text).value_or(0) * factor;
}

int ReadInt(std::string_view text) {
  return ReadWholeNumber<int>(text).value_or(0);
}

// "30000/1001" or "29.97".
double ReadRate(std::string_view text) {
  const std::size_t slash = text.find('/');
  double value = 0;
  if (slash == std::string_view::npos) return ParseDecimal(text, value) ? value : 0;
  const int num = ReadInt(text.substr(0, slash));
  const int den = ReadInt(text.substr(slash + 1));
  return den > 0 ? static_cast<double>(num) / den : 0;
}

// ffmpeg's encoder names to the codec names ffprobe reports.
std::string CodecOf(const std::string& encoder) {
  if (encoder == "libx264") return "h264";
  if (encoder == "libmp3lame") return "mp3";
  if (encoder == "libvorbis") return "vorbis";
  return encoder;
}

void SetNeed(FormatNeeds& needs, const std::string& option, const std::string& value) {
  if (option == "-vcodec") needs.videoCodec = CodecOf(value);
  if (option == "-profile:v") needs.profile = LowerAscii(value);
  if (option == "-level") needs.maxLevel = ReadInt(value);
  if (option == "-pix_fmt") needs.pixelFormat = value;
  if (option == "-s") {
    const std::size_t x = value.find('x');
    if (x != std::string::npos) {
      needs.width = ReadInt(value.substr(0, x));
      needs.height = ReadInt(value.substr(x + 1));
    }
  }
  if (option == "-b") needs.videoBitRate = ReadBitRate(value);
  if (option == "-maxrate") needs.videoMaxRate = ReadBitRate(value);
  if (option == "-r") needs.frameRate = ReadRate(value);
  if (option == "-acodec") needs.audioCodec = CodecOf(value);
  if (option == "-ab") needs.audioBitRate = ReadBitRate(value);
  if (option == "-ar") needs.sampleRate = ReadInt(value);
  if (option == "-ac") needs.maxChannels = ReadInt(value);
}

void SetField(ProbedStream& s, std::string_view key, const std::string& value) {
  if (key == "codec_type") s.type = value;
  if (key == "codec_name") s.codec = value;
  if (key == "profile") s.profile = value;
  if (key == "pix_fmt") s.pixelFormat = value;
  if (key == "level") s.level = ReadInt(value);
  if (key == "width") s.width = ReadInt(value);
  if (key == "height") s.height = ReadInt(value);
  if (key == "bit_rate") s.bitRate = ReadWholeNumber<std::int64_t>(value).value_or(0);
  if (key == "r_frame_rate") s.frameRate = ReadRate(value);
  if (key == "sample_rate") s.sampleRate = ReadInt(value);
  if (key == "channels") s.channels = ReadInt(value);
}

bool WithinTarget(std::int64_t actual, std::int64_t target) {
  return target == 0 || (actual > 0 && actual <= target * kBitRateTolerance);
}

bool WithinLimit(std::int64_t actual, std::int64_t limit) {
  return limit == 0 || (actual > 0 && actual <= limit);
}

// "baseline" is met by the constrained form too: it is the stricter one.
bool ProfileMet(const std::string& profile, const std::string& need) {
  const std::string have = LowerAscii(profile);
  return need.empty() || have == need || have == "constrained " + need;
}

bool VideoFits(const ProbedStream& s, const FormatNeeds& n) {
  return (n.videoCodec.empty() || s.codec == n.videoCodec) && ProfileMet(s.profile, n.profile) &&
         (n.maxLevel == 0 || (s.level > 0 && s.level <= n.maxLevel)) &&
         (n.pixelFormat.empty() || s.pixelFormat == n.pixelFormat) &&
         (n.width == 0 || (s.width == n.width && s.height == n.height)) &&
         WithinTarget(s.bitRate, n.videoBitRate) && WithinLimit(s.bitRate, n.videoMaxRate) &&
         (n.frameRate == 0 || std::fabs(s.frameRate - n.frameRate) < 0.01);
}

bool AudioFits(const ProbedStream& s, const FormatNeeds& n) {
  return (n.audioCodec.empty() || s.codec == n.audioCodec) &&
         WithinTarget(s.bitRate, n.audioBitRate) &&
         (n.sampleRate == 0 || s.sampleRate == n.sampleRate) &&
         (n.maxChannels == 0 || (s.channels > 0 && s.channels <= n.maxChannels));
}
}  // namespace

bool FormatNeeds::ProbeDecides() const {
  return !videoCodec.empty() || !profile.empty() || maxLevel != 0 || !pixelFormat.empty() ||
         width != 0 || videoBitRate != 0 || videoMaxRate != 0;
}

FormatNeeds NeedsOf(std::string_view formatArgs) {
  FormatNeeds needs;
  std::vector<std::string> words;
  for (std::size_t pos = 0; pos < formatArgs.size();) {
    const std::size_t end = std::min(formatArgs.find(' ', pos), formatArgs.size());
    if (end > pos) words.emplace_back(formatArgs.substr(pos, end - pos));
    pos = end + 1;
  }
  for (std::size_t i = 0; i + 1 < words.size(); ++i) SetNeed(needs, words[i], words[i + 1]);
  return needs;
}

std::vector<ProbedStream> ParseProbeOutput(std::string_view text) {
  constexpr std::string_view kPrefix = "streams.stream.";
  std::vector<ProbedStream> streams;
  for (const std::string& line : SplitLines(text)) {
    if (line.rfind(kPrefix, 0) != 0) continue;
    const std::size_t dot = line.find('.', kPrefix.size());
    const std::size_t equals = line.find('=', kPrefix.size());
    if (dot == std::string::npos || equals == std::string::npos || equals < dot) continue;
    const auto index = ReadWholeNumber<unsigned>(
        std::string_view(line).substr(kPrefix.size(), dot - kPrefix.size()));
    // ffprobe numbers streams from 0 in order; anything else is no stream of its.
    if (!index || *index > streams.size() || *index > 1000) continue;
    if (*index == streams.size()) streams.emplace_back();
    std::string value = line.substr(equals + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    SetField(streams[*index], std::string_view(line).substr(dot + 1, equals - dot - 1), value);
  }
  return streams;
}

bool FitsFormat(const std::vector<ProbedStream>& streams, const FormatNeeds& needs) {
  bool video = false;
  for (const ProbedStream& s : streams) {
    if (s.type == "video" && !VideoFits(s, needs)) return false;
    if (s.type == "audio" && !AudioFits(s, needs)) return false;
    video = video || s.type == "video";
  }
  return video;
}

std::vector<std::string> ProbeArguments(const std::string& ffprobePath, const std::string& file) {
  return {ffprobePath,
          "-v",
          "error",
          "-show_entries",
          "stream=codec_type,codec_name,profile,level,pix_fmt,width,height,bit_rate,r_frame_rate,"
          "sample_rate,channels",
          "-of",
          "flat",
          FfmpegFileArgument(file)};
}

}  // namespace quillmarsh
