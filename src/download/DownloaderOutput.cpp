#include "download/DownloaderOutput.h"

#include <cmath>

#include "shared/Numbers.h"
#include "shared/ProgramVocabulary.h"
#include "shared/Text.h"

namespace quillmarsh {

namespace {
std::string RemoveValues(std::string s, std::string_view open, std::string_view close) {
  constexpr auto npos = std::string::npos;
  const auto firstOpen = s.find(open);
  const auto firstClose = s.find(close);
  if (firstClose != npos && (firstOpen == npos || firstClose < firstOpen)) s.erase(0, firstClose);
  for (std::size_t from = 0;;) {
    const auto o = s.find(open, from);
    if (o == npos) break;
    const auto value = o + open.size();
    const auto c = s.find(close, value);
    if (c == npos) {
      s.erase(value);
      break;
    }
    s.erase(value, c - value);
    from = value + close.size();
  }
  return s;
}
}  // namespace

std::optional<ProgressTag> ReadProgressTag(std::string_view chunk) {
  const auto open = chunk.find(Marker::Speed.open);
  if (open == std::string_view::npos) return std::nullopt;
  const std::string_view rest = chunk.substr(open + Marker::Speed.open.size());
  const auto close = rest.find(Marker::Speed.close);
  const std::string_view body = rest.substr(0, close);

  const auto percentEnd = body.find('%');
  if (percentEnd == std::string_view::npos) return std::nullopt;
  const std::string percentText = Trim(body.substr(0, percentEnd));
  double value = 0;
  if (percentText.empty() || !ParseDecimal(percentText, value)) return std::nullopt;
  const double truncated = std::trunc(value);
  // A percent beyond a 32-bit integer does not convert either.
  if (truncated > 2147483647.0 || truncated < -2147483648.0) return std::nullopt;

  ProgressTag tag;
  tag.percent = static_cast<int>(truncated);
  const std::string_view after = body.substr(percentEnd + 1);
  tag.size = Trim(CutBetween(after, "of", "at"));
  tag.speed = Trim(CutBetween(after, "at", "ETA"));
  if (close != std::string_view::npos) {
    const auto eta = after.find("ETA");
    if (eta != std::string_view::npos) tag.eta = Trim(after.substr(eta + 3));
  }
  return tag;
}

std::string WithoutTagValues(std::string_view line) {
  std::string s(line);
  for (const MarkerTag& tag : {Marker::Title, Marker::FileName, Marker::Skip})
    s = RemoveValues(std::move(s), tag.open, tag.close);
  return s;
}

bool IsCrashReportLine(std::string_view line) {
  return Contains(WithoutTagValues(line), Marker::Traceback);
}

bool IsErrorLine(std::string_view line) {
  return Contains(UpperAscii(WithoutTagValues(line)), "ERROR");
}

std::string FailureText(std::string_view line) {
  constexpr std::string_view kPrefix = Marker::ErrorPrefix;
  const std::string own = WithoutTagValues(line);
  const auto at = own.find(kPrefix);
  const std::string text =
      Trim(at == std::string::npos ? std::string_view(own)
                                   : std::string_view(own).substr(at + kPrefix.size()));
  std::string shown;
  for (std::size_t from = 0;;) {
    const std::size_t escaped = text.find(Marker::EscapedLessThan, from);
    shown.append(text, from, escaped == std::string::npos ? escaped : escaped - from);
    if (escaped == std::string::npos) return shown;
    shown += '<';
    from = escaped + Marker::EscapedLessThan.size();
  }
}

}  // namespace quillmarsh
