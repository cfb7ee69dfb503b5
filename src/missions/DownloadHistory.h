#pragma once
// What was downloaded before: one entry per address (with its query,
// without its fragment), the file it became and the day. Kept in a file of
// the data folder, the newest kMaxEntries only, read once at start-up and
// written whole and atomically on each change. Clear and Remove leave it
// alone; only Forget empties it. Plain C++; user-interface thread only.

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
  // Writes the whole history atomically; false (errno set) when it could
  // not, the previous file then stays as it was.
  bool Save() const;

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

  std::string path_;
  std::list<HistoryEntry> entries_;  // oldest first
  // Keys point into the entries' own addresses.
  std::unordered_map<std::string_view, std::list<HistoryEntry>::iterator> byAddress_;
};

}  // namespace quillmarsh
