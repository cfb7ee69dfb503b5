#include "missions/DownloadHistory.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "shared/AtomicFile.h"
#include "shared/RegularFile.h"

namespace quillmarsh {

namespace {
// One line an entry: date, address, file, separated by tabs. A tab, line
// break or backslash inside a field is written as "\t", "\n", "\r", "\\".
void AppendField(std::string& line, std::string_view field) {
  for (const char c : field) {
    switch (c) {
      case '\\':
        line += "\\\\";
        break;
      case '\t':
        line += "\\t";
        break;
      case '\n':
        line += "\\n";
        break;
      case '\r':
        line += "\\r";
        break;
      default:
        line += c;
    }
  }
}

void AppendLine(std::string& text, const HistoryEntry& entry) {
  AppendField(text, entry.date);
  text += '\t';
  AppendField(text, entry.address);
  text += '\t';
  AppendField(text, entry.file);
  text += '\n';
}

// Far beyond kMaxEntries lines of ordinary addresses and file names.
constexpr std::size_t kMaxFileBytes = std::size_t{512} << 20;

bool AppendToFile(const std::string& path, std::string_view text) {
  const int fd = OpenOwnFile(path, 0644);
  if (fd < 0) return false;
  const bool written = ::lseek(fd, 0, SEEK_END) >= 0 && WriteAll(fd, text) && ::fdatasync(fd) == 0;
  const int failure = errno;
  ::close(fd);
  errno = failure;
  return written;
}

std::string ReadField(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      out += field[i];
      continue;
    }
    const char next = field[++i];
    out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}
}  // namespace

std::string DownloadHistory::Key(std::string_view url) {
  return std::string(url.substr(0, url.find('#')));
}

std::string DownloadHistory::Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

void DownloadHistory::Load() {
  const auto text = ReadRegularFile(path_, kMaxFileBytes, Links::Refuse);
  if (!text) return;  // the first save writes it whole
  ReadText(*text);
  linesInFile_ = static_cast<std::size_t>(std::count(text->begin(), text->end(), '\n'));
  // A line cut short by a crash would swallow the next appended one.
  wholeNeeded_ = !text->empty() && text->back() != '\n';
}

bool DownloadHistory::Save() {
  if (wholeNeeded_ || linesInFile_ > kMaxEntries + kMaxEntries / 4 ||
      linesInFile_ > entries_.size() + entries_.size() / 4 + 64)
    return SaveWhole();
  if (unsaved_.empty()) return true;
  if (!AppendToFile(path_, unsaved_)) {
    wholeNeeded_ = true;  // a part of the lines may be there
    return false;
  }
  unsaved_.clear();
  return true;
}

bool DownloadHistory::SaveWhole() {
  if (!WriteFileAtomically(path_, Text(), Links::Refuse)) return false;
  unsaved_.clear();
  linesInFile_ = entries_.size();
  wholeNeeded_ = false;
  return true;
}

void DownloadHistory::ReadText(std::string_view text) {
  const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  byAddress_.reserve(std::min(lines, kMaxEntries) + 1);
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) break;  // cut short while written
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    const std::size_t tab1 = line.find('\t');
    const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string_view::npos || tab2 == tab1 + 1) continue;  // damaged or no address
    Add({ReadField(line.substr(tab1 + 1, tab2 - tab1 - 1)), ReadField(line.substr(tab2 + 1)),
         ReadField(line.substr(0, tab1))});
  }
}

std::string DownloadHistory::Text() const {
  std::string text;
  for (const HistoryEntry& entry : entries_) AppendLine(text, entry);
  return text;
}

void DownloadHistory::Remember(std::string_view url, std::string file, std::string date) {
  Add({Key(url), std::move(file), std::move(date)});
  AppendLine(unsaved_, entries_.back());
  ++linesInFile_;
}

void DownloadHistory::Add(HistoryEntry entry) {
  if (const auto known = byAddress_.find(entry.address); known != byAddress_.end()) {
    const auto old = known->second;
    byAddress_.erase(known);
    entries_.erase(old);
  }
  entries_.push_back(std::move(entry));
  const auto added = std::prev(entries_.end());
  byAddress_.emplace(added->address, added);
  if (entries_.size() > kMaxEntries) {
    byAddress_.erase(entries_.front().address);
    entries_.pop_front();
  }
}

const HistoryEntry* DownloadHistory::Find(std::string_view url) const {
  const auto found = byAddress_.find(Key(url));
  return found == byAddress_.end() ? nullptr : &*found->second;
}

void DownloadHistory::Forget() {
  byAddress_.clear();
  entries_.clear();
  unsaved_.clear();
  wholeNeeded_ = true;
}

}  // namespace quillmarsh
