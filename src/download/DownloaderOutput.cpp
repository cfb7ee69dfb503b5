#include "download/DownloaderOutput.h"

#include <algorithm>
#include <cmath>
#include <vector>

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
// The downloader writes "<" inside a value as a look-alike; the user reads
// it as the value had it.
std::string ShownLessThan(std::string_view text) {
  std::string shown;
  for (std::size_t from = 0;;) {
    const std::size_t escaped = text.find(Marker::EscapedLessThan, from);
    shown.append(text.substr(from, escaped == std::string::npos ? escaped : escaped - from));
    if (escaped == std::string::npos) return shown;
    shown += '<';
    from = escaped + Marker::EscapedLessThan.size();
  }
}

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  for (std::size_t from = 0; from <= text.size();) {
    const std::size_t blank = std::min(text.find(' ', from), text.size());
    words.push_back(text.substr(from, blank - from));
    from = blank + 1;
  }
  return words;
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

std::optional<ListedVideo> ReadListEntry(std::string_view line) {
  const std::string value = CutBetween(line, Marker::ListEntry.open, Marker::ListEntry.close);
  const std::size_t blank = value.find(' ');
  if (blank == std::string::npos) return std::nullopt;
  ListedVideo video{value.substr(0, blank), ShownLessThan(value.substr(blank + 1))};
  const std::string scheme = LowerAscii(video.url.substr(0, 8));
  if (scheme.rfind("http://", 0) != 0 && scheme.rfind("https://", 0) != 0) return std::nullopt;
  return video;
}

std::optional<ListEnd> ReadListEnd(std::string_view line) {
  const std::string value = CutBetween(line, Marker::ListEnd.open, Marker::ListEnd.close);
  const std::vector<std::string> words = SplitWords(value);
  ListEnd end;
  int cut = 0;
  if (words.size() != 3 || !ParseInt32(words[0], end.entries) ||
      !ParseInt32(words[1], end.skipped) || !ParseInt32(words[2], cut) || end.entries < 0 ||
      end.skipped < 0)
    return std::nullopt;
  end.cut = cut != 0;
  return end;
}

std::string WithoutTagValues(std::string_view line) {
  std::string s(line);
  for (const MarkerTag& tag :
       {Marker::Title, Marker::FileName, Marker::Skip, Marker::ListEntry, Marker::ListEnd})
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
  return ShownLessThan(Trim(at == std::string::npos
                                ? std::string_view(own)
                                : std::string_view(own).substr(at + kPrefix.size())));
}

}  // namespace quillmarsh
