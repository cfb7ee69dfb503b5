#include "files/ControlFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "core/FetchError.h"
#include "files/OutputFolder.h"

namespace tarnfetch {
namespace {

constexpr const char* kHeader = "tarnfetch-control 1";
// A record is small; anything larger is not ours.
constexpr std::size_t kMaxBytes = 1 << 20;
constexpr auto kSaveInterval = std::chrono::seconds(1);
constexpr const char* kSuffix = ".part.ctl";
// 255 bytes for a name, less the suffix and the temporary's ".tmp".
constexpr std::size_t kMaxStem = 255 - 9 - 4;

// Values stay on one line: '%', line breaks and blanks are escaped.
std::string Escape(const std::string& value) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : value) {
    if (c == '%' || c <= ' ' || c == 0x7F) {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::optional<std::string> Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const std::string digits = text.substr(i + 1, 2);
    char* end = nullptr;
    const long value = std::strtol(digits.c_str(), &end, 16);
    if (digits.size() != 2 || *end != '\0') return std::nullopt;
    out += static_cast<char>(value);
    i += 2;
  }
  return out;
}

}  // namespace

std::string ControlFile::NameFor(const std::string& finalName) {
  if (finalName.size() <= kMaxStem) return finalName + kSuffix;
  std::uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : finalName) hash = (hash ^ c) * 1099511628211ull;
  std::size_t cut = kMaxStem - 17;
  // Never inside a UTF-8 sequence.
  while (cut > 0 && (static_cast<unsigned char>(finalName[cut]) & 0xC0) == 0x80) --cut;
  char tail[18];
  std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
  return finalName.substr(0, cut) + tail + kSuffix;
}

ControlFile::ControlFile(const OutputFolder& folder, const std::string& finalName)
    : folder_(folder), name_(NameFor(finalName)) {}

bool ControlFile::Load() {
  Clear();
  changed_ = false;
  // Non-blocking, so that a FIFO planted under the name cannot hold the
  // open; anything but a plain file is not a record of ours.
  const int fd =
      openat(folder_.Descriptor(), name_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return false;
  }
  std::string text;
  char buffer[8192];
  ssize_t got = 0;
  while ((got = read(fd, buffer, sizeof buffer)) > 0 && text.size() <= kMaxBytes) {
    text.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  if (got < 0 || text.size() > kMaxBytes) return false;

  std::istringstream lines(text);
  std::string line;
  if (!std::getline(lines, line) || line != kHeader) return false;
  bool ended = false;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string kind, first, second, rest;
    fields >> kind >> first >> second;
    if (kind == "end" && first.empty()) {
      ended = true;
      break;
    }
    if (kind == "value" && !first.empty() && !(fields >> rest)) {
      const auto value = Unescape(second);
      if (!value) break;
      values_[first] = *value;
    } else if (kind == "done" && !(fields >> rest)) {
      char* end1 = nullptr;
      char* end2 = nullptr;
      const unsigned long long a = std::strtoull(first.c_str(), &end1, 10);
      const unsigned long long b = std::strtoull(second.c_str(), &end2, 10);
      if (first.empty() || second.empty() || *end1 != '\0' || *end2 != '\0' || a > b ||
          first[0] == '-' || second[0] == '-') {
        break;
      }
      AddDone(a, b);
    } else {
      break;
    }
  }
  changed_ = false;
  // Only a record written to its end counts.
  if (!ended) Clear();
  return ended;
}

void ControlFile::Set(const std::string& key, const std::string& value) {
  auto& slot = values_[Escape(key)];
  if (slot == value) return;
  slot = value;
  changed_ = true;
}

std::optional<std::string> ControlFile::Get(const std::string& key) const {
  const auto found = values_.find(Escape(key));
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

void ControlFile::AddDone(std::uint64_t first, std::uint64_t end) {
  if (first >= end) return;
  changed_ = true;
  done_.insert(std::lower_bound(done_.begin(), done_.end(), Span{first, end}), Span{first, end});
  // Spans that touch or overlap become one.
  std::vector<Span> merged;
  for (const Span& span : done_) {
    if (!merged.empty() && span.first <= merged.back().second) {
      merged.back().second = std::max(merged.back().second, span.second);
    } else {
      merged.push_back(span);
    }
  }
  done_ = std::move(merged);
}

void ControlFile::Clear() {
  if (!values_.empty() || !done_.empty()) changed_ = true;
  values_.clear();
  done_.clear();
}

void ControlFile::Save() {
  std::string text = std::string(kHeader) + "\n";
  for (const auto& [key, value] : values_) text += "value " + key + " " + Escape(value) + "\n";
  for (const auto& [first, end] : done_) {
    text += "done " + std::to_string(first) + " " + std::to_string(end) + "\n";
  }
  text += "end\n";

  const std::string temporary = name_ + ".tmp";
  const int dir = folder_.Descriptor();
  // Always a new file: a name planted there (a hard link to another file)
  // is removed, never written through.
  unlinkat(dir, temporary.c_str(), 0);
  const int fd =
      openat(dir, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  bool ok = fd >= 0;
  std::size_t written = 0;
  while (ok && written < text.size()) {
    const ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) written += static_cast<std::size_t>(n);
  }
  if (fd >= 0 && close(fd) != 0) ok = false;
  if (ok && renameat(dir, temporary.c_str(), dir, name_.c_str()) != 0) ok = false;
  if (!ok) {
    const std::string reason = std::strerror(errno);
    unlinkat(dir, temporary.c_str(), 0);
    throw FetchError("Could not write " + folder_.Path() + "/" + name_ + ": " + reason + ".");
  }
  changed_ = false;
  saved_ = Clock::now();
}

void ControlFile::SaveIfDue() {
  if (changed_ && Clock::now() - saved_ >= kSaveInterval) Save();
}

void ControlFile::Remove() {
  unlinkat(folder_.Descriptor(), name_.c_str(), 0);
  unlinkat(folder_.Descriptor(), (name_ + ".tmp").c_str(), 0);
  Clear();
  changed_ = false;
}

}  // namespace tarnfetch
