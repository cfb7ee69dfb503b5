#include "report/Console.h"

#include <cstdio>
#include <mutex>

#include "core/TitleText.h"
#include "core/Utf8.h"
#include "files/FileName.h"
#include "report/Secrets.h"
#include "shared/ProgramVocabulary.h"
#include "shared/Text.h"

namespace tarnfetch {
namespace Marker = quillmarsh::Marker;
namespace {

// Downloads running on threads of their own print too; a line is never
// split by another.
std::mutex& OutputLock() {
  static std::mutex lock;
  return lock;
}

void WriteLine(std::string_view line) {
  const std::lock_guard lock(OutputLock());
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void WriteTagged(const quillmarsh::MarkerTag& tag, std::string_view value) {
  std::string line;
  line.reserve(tag.open.size() + value.size() + tag.close.size());
  line.append(tag.open).append(MarkerSafe(value)).append(tag.close);
  WriteLine(line);
}

}  // namespace

std::string MarkerSafe(std::string_view text) {
  const std::string valid = ToValidUtf8(text);
  std::string out;
  out.reserve(valid.size());
  for (const char c : valid) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      out += ' ';
    } else if (c == '<') {
      out += Marker::EscapedLessThan;
    } else {
      out += c;
    }
  }
  return out;
}

namespace console {

void Go() {
  WriteLine(Marker::Go);
}

void Title(std::string_view title) {
  // Quillmarsh reads our output in small chunks; a short line keeps the
  // whole tag in one of them, also when escaping has made it longer.
  std::string shown = MarkerSafe(CutUtf8(CleanTitle(HideSecrets(title)), kMaxTitleBytes));
  if (shown.empty()) shown = "video";
  constexpr std::string_view kOpen = Marker::Title.open, kClose = Marker::Title.close;
  shown = CutUtf8(shown, kMaxTitleLineBytes - kOpen.size() - kClose.size());
  WriteLine(std::string(kOpen).append(shown).append(kClose));
}

void FileName(std::string_view path) {
  WriteTagged(Marker::FileName, path);
}

void Skip(std::string_view path) {
  WriteTagged(Marker::Skip, path);
}

void Progress(std::string_view percent, std::string_view size, std::string_view speed,
              std::string_view eta) {
  std::string line(Marker::Speed.open);
  line += ' ';
  line.append(percent).append("% of ").append(size).append(" at ").append(speed);
  line.append(" ETA ").append(eta).append(Marker::Speed.close);
  WriteLine(line);
}

void Connections(int count) {
  WriteTagged(Marker::Connections, std::to_string(count));
}

void Error(std::string_view message, Passing passing) {
  std::string line(Marker::ErrorPrefix);
  line.append(MarkerSafe(HideSecrets(message)));
  // One write for both lines: the reader sees the marker in the same chunk
  // as the error, so the row never shows the error before the wait.
  if (passing == Passing::MayPass) line.append("\n").append(Marker::TryLater);
  WriteLine(line);
}

void ListEntry(std::string_view url, std::string_view title) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string line(Marker::ListEntry.open);
  for (const char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || c == '<' || c == '>') {
      line += '%';
      line += kHex[byte >> 4];
      line += kHex[byte & 0x0F];
    } else {
      line += c;
    }
  }
  line += ' ';
  line += MarkerSafe(CutUtf8(CleanTitle(HideSecrets(title)), kMaxTitleBytes));
  line.append(Marker::ListEntry.close);
  WriteLine(line);
}

void ListEnd(std::size_t entries, std::size_t skipped, bool cut) {
  WriteTagged(Marker::ListEnd,
              std::to_string(entries) + " " + std::to_string(skipped) + " " + (cut ? "1" : "0"));
}

void Plain(std::string_view text) {
  const std::lock_guard lock(OutputLock());
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace console
}  // namespace tarnfetch
