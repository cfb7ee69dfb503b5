#pragma once
// What was downloaded before: one entry per address (with its query,
// without its fragment), the file it became and the day. Kept in a file of
// the data folder, the newest kMaxEntries only, read once at start-up. A
// download appends its line; the file is written whole and atomically when
// forgotten or when repeated addresses have grown it by a quarter. Clear and
// Remove leave it alone; only Forget empties it. Plain C++; user-interface
// thread only.

#include <cstddef>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quillmarsh {

struct HistoryEntry {
  std::string address;
  std::string file;
  std::string date;  // "2026-12-08", local time
};

class DownloadHistory {
 public:
  static constexpr std::size_t kMaxEntries = 100000;
  static constexpr std::string_view kFileName = "history.txt";

  // The address as the history knows it: without its fragment ("#...").
  static std::string Key(std::string_view url);
  // Today's date as entries carry it.
  static std::string Today();

  explicit DownloadHistory(std::string path = {}) : path_(std::move(path)) {}

  // Reads the file: a missing or unreadable one is an empty history, a
  // damaged line is passed over.
  void Load();
  // Writes what changed since the last load or save: the new lines appended,
  // or the whole history atomically. False (errno set) when it could not;
  // the file then stays as it was and the next save writes it whole.
  bool Save();

  // Remembers a download as the newest entry; the oldest goes beyond
  // kMaxEntries.
  void Remember(std::string_view url, std::string file, std::string date);
  // The entry for the address, or nothing.
  const HistoryEntry* Find(std::string_view url) const;
  void Forget();
  std::size_t size() const { return entries_.size(); }

  // The file's text, and the entries read from one (oldest first).
  std::string Text() const;
  void ReadText(std::string_view text);

 private:
  void Add(HistoryEntry entry);
  bool SaveWhole();

  std::string path_;
  std::string unsaved_;              // lines remembered since the last save
  std::size_t linesInFile_ = 0;      // repeated addresses count each time
  bool wholeNeeded_ = true;          // forgotten, or the file's state unknown
  std::list<HistoryEntry> entries_;  // oldest first
  // Keys point into the entries' own addresses.
  std::unordered_map<std::string_view, std::list<HistoryEntry>::iterator> byAddress_;
};

}  // namespace quillmarsh
