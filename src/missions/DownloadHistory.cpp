#include "missions/DownloadHistory.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <sstream>

#include "shared/AtomicFile.h"

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
  std::ifstream file(path_, std::ios::binary);
  if (!file) return;
  std::ostringstream text;
  text << file.rdbuf();
  ReadText(text.str());
}

bool DownloadHistory::Save() const {
  return WriteFileAtomically(path_, Text());
}

void DownloadHistory::ReadText(std::string_view text) {
  const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  byAddress_.reserve(std::min(lines, kMaxEntries) + 1);
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
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
  for (const HistoryEntry& entry : entries_) {
    AppendField(text, entry.date);
    text += '\t';
    AppendField(text, entry.address);
    text += '\t';
    AppendField(text, entry.file);
    text += '\n';
  }
  return text;
}

void DownloadHistory::Remember(std::string_view url, std::string file, std::string date) {
  Add({Key(url), std::move(file), std::move(date)});
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
}

}  // namespace quillmarsh
