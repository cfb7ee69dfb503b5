#include "convert/FfmpegText.h"

#include <algorithm>
#include <array>

#include "shared/Numbers.h"
#include "shared/Text.h"

namespace quillmarsh {

namespace {
constexpr std::array<std::string_view, 4> kFatalTexts = {
    "No space left on device", "Error writing trailer", "Error closing file", "Conversion failed!"};

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}
}  // namespace

double TimeToSeconds(std::string_view text) {
  if (text.size() != 11) return -1;
  const auto first = text.find(':');
  if (first == std::string_view::npos) return -1;
  const auto second = text.find(':', first + 1);
  if (second == std::string_view::npos) return -1;

  const std::string_view hours = text.substr(0, first);
  const std::string_view minutes = text.substr(first + 1, second - first - 1);
  const std::string_view seconds = text.substr(second + 1);
  // Whole, unsigned numbers only: a sign or fraction here is no time ffmpeg writes.
  if (!AllDigits(hours) || !AllDigits(minutes)) return -1;
  if (seconds.empty() || seconds.front() < '0' || seconds.front() > '9') return -1;

  int h = 0, m = 0;
  double s = 0;
  if (!ParseInt32(hours, h) || !ParseInt32(minutes, m) || !ParseDecimal(seconds, s)) return -1;
  return h * 3600.0 + m * 60.0 + s;
}

std::string GetLastLine(std::string_view text) {
  std::vector<std::string> lines = SplitLines(text);
  return lines.empty() ? std::string() : std::move(lines.back());
}

bool HasFatalFfmpegText(std::string_view text) {
  return std::any_of(kFatalTexts.begin(), kFatalTexts.end(),
                     [text](std::string_view fatal) { return Contains(text, fatal); });
}

bool IsFfmpegErrorText(std::string_view text) {
  static constexpr std::array<std::string_view, 10> kWords = {
      "ERROR",  "INVALID", "NO SUCH FILE", "PERMISSION DENIED", "UNKNOWN", "NOT FOUND",
      "FAILED", "UNABLE",  "CANNOT",       "COULD NOT"};
  const std::string upper = UpperAscii(text);
  return std::any_of(kWords.begin(), kWords.end(),
                     [&upper](std::string_view word) { return Contains(upper, word); });
}

}  // namespace quillmarsh
