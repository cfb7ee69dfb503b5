#include "files/HostMemory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "shared/AtomicFile.h"
#include "shared/Numbers.h"

namespace tarnfetch {
namespace {

constexpr std::string_view kHeader = "tarnfetch-connections 1";
constexpr int kMostCount = 64;
constexpr std::size_t kMaxWord = 300;

bool Word(std::string_view word) {
  if (word.empty() || word.size() > kMaxWord) return false;
  for (const char c : word) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte == 0x7F) return false;
  }
  return true;
}

template <typename Number>
bool ReadNumber(std::string_view text, Number& value) {
  const std::optional<Number> read = quillmarsh::ReadWholeNumber<Number>(text);
  if (read) value = *read;
  return read.has_value();
}

// "kind server count when", single blanks.
std::optional<HostMemory::Entry> ReadLine(std::string_view line) {
  std::string_view words[4];
  for (int i = 0; i < 4; ++i) {
    const auto blank = i < 3 ? line.find(' ') : std::string_view::npos;
    if (i < 3 && blank == std::string_view::npos) return std::nullopt;
    words[i] = line.substr(0, blank);
    line = i < 3 ? line.substr(blank + 1) : std::string_view();
  }
  HostMemory::Entry entry;
  if (!Word(words[0]) || !Word(words[1]) || !ReadNumber(words[2], entry.count) ||
      !ReadNumber(words[3], entry.when) || entry.count < 1 || entry.count > kMostCount ||
      entry.when < 0) {
    return std::nullopt;
  }
  entry.kind = words[0];
  entry.server = words[1];
  return entry;
}

bool Fresh(const HostMemory::Entry& entry, std::int64_t now) {
  return entry.when <= now && now - entry.when < HostMemory::kKeepSeconds;
}

}  // namespace

std::vector<HostMemory::Entry> ReadHostMemory(std::string_view text) {
  std::vector<HostMemory::Entry> entries;
  if (text.size() > HostMemory::kMaxBytes ||
      text.substr(0, kHeader.size() + 1) != std::string(kHeader) + "\n") {
    return {};
  }
  text.remove_prefix(kHeader.size() + 1);
  while (!text.empty()) {
    const auto end = text.find('\n');
    if (end == std::string_view::npos) return {};  // cut off
    const auto entry = ReadLine(text.substr(0, end));
    if (!entry || entries.size() == HostMemory::kMaxEntries) return {};
    entries.push_back(*entry);
    text.remove_prefix(end + 1);
  }
  return entries;
}

std::string WriteHostMemory(const std::vector<HostMemory::Entry>& entries) {
  std::string text(kHeader);
  text += '\n';
  for (const auto& entry : entries) {
    text += entry.kind + ' ' + entry.server + ' ' + std::to_string(entry.count) + ' ' +
            std::to_string(entry.when) + '\n';
  }
  return text;
}

std::filesystem::path HostMemory::DefaultFile() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  std::filesystem::path folder;
  if (cache != nullptr && cache[0] == '/') {
    folder = cache;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    folder = std::filesystem::path(home) / ".cache";
  } else {
    return {};
  }
  return folder / "tarnfetch" / "connections";
}

std::vector<HostMemory::Entry> HostMemory::Load() const {
  if (file_.empty()) return {};
  // Not blocking on a pipe, not reading a device or more than a memory
  // file can hold.
  const int fd = open(file_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  struct stat info {};
  std::string text;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<std::uint64_t>(info.st_size) <= kMaxBytes) {
    text.resize(kMaxBytes + 1);
    std::size_t got = 0;
    for (ssize_t n = 0; got < text.size(); got += static_cast<std::size_t>(n)) {
      n = read(fd, text.data() + got, text.size() - got);
      if (n <= 0) break;
    }
    text.resize(got);
  }
  close(fd);
  return ReadHostMemory(text);
}

std::optional<int> HostMemory::Recall(std::string_view kind, std::string_view server,
                                      std::int64_t now) const {
  std::optional<int> count;
  for (const Entry& entry : Load()) {
    if (entry.kind == kind && entry.server == server && Fresh(entry, now)) count = entry.count;
  }
  return count;
}

void HostMemory::Remember(std::string_view kind, std::string_view server, int count,
                          std::int64_t now) const {
  if (file_.empty() || !Word(kind) || !Word(server) || count < 1 || count > kMostCount) return;
  std::vector<Entry> kept;
  for (Entry& entry : Load()) {
    if (Fresh(entry, now) && !(entry.kind == kind && entry.server == server)) {
      kept.push_back(std::move(entry));
    }
  }
  // The oldest go first when the file is full.
  if (kept.size() >= kMaxEntries) kept.erase(kept.begin(), kept.end() - (kMaxEntries - 1));
  kept.push_back({std::string(kind), std::string(server), count, now});

  std::error_code ignored;
  std::filesystem::create_directories(file_.parent_path(), ignored);
  // A memory it cannot write costs only the next run's first guess.
  quillmarsh::WriteFileAtomically(file_.string(), WriteHostMemory(kept));
}

}  // namespace tarnfetch
