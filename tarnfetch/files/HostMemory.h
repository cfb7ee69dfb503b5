#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnfetch {

// The connection counts that worked with each server, for a day, in a
// small file of the user's cache folder, so that the next download from a
// server starts where the last one settled. Only a help: a file that is
// missing, damaged, too large or cannot be written is ignored, and a
// later save replaces a damaged one.
class HostMemory {
 public:
  struct Entry {
    std::string kind;  // what was counted: "files" or "segments"
    std::string server;
    int count = 0;
    std::int64_t when = 0;  // seconds since 1970
  };
  static constexpr std::int64_t kKeepSeconds = 24 * 60 * 60;
  static constexpr std::size_t kMaxEntries = 200;
  static constexpr std::size_t kMaxBytes = 32 << 10;

  // "$XDG_CACHE_HOME/tarnfetch/connections", else under "~/.cache"; empty
  // when neither is known.
  static std::filesystem::path DefaultFile();

  explicit HostMemory(std::filesystem::path file) : file_(std::move(file)) {}

  std::optional<int> Recall(std::string_view kind, std::string_view server, std::int64_t now) const;
  // Written to a temporary beside the file and renamed over it.
  void Remember(std::string_view kind, std::string_view server, int count, std::int64_t now) const;

 private:
  std::vector<Entry> Load() const;

  std::filesystem::path file_;
};

// The entries of a memory file's text; none when any line is damaged.
std::vector<HostMemory::Entry> ReadHostMemory(std::string_view text);
std::string WriteHostMemory(const std::vector<HostMemory::Entry>& entries);

}  // namespace tarnfetch
