#include "platform/OwnTemporaryFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <vector>

namespace quillmarsh {

namespace {
std::mutex journalLock;

// What tells the file that was made from a later one under its name: an
// inode number alone is soon given to the next new file, its birth time is
// not (0 where the file system keeps none).
struct Identity {
  unsigned long long device = 0, inode = 0, bornSeconds = 0, bornNanoseconds = 0;
  bool operator==(const Identity&) const = default;
};

struct Entry {
  Identity id;
  std::string path;
};

std::optional<Identity> IdentityOf(int dirFd, const char* path, int flags) {
  struct statx st {};
  if (::statx(dirFd, path, flags | AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_INO | STATX_BTIME,
              &st) != 0 ||
      !S_ISREG(st.stx_mode))
    return std::nullopt;
  Identity id{makedev(st.stx_dev_major, st.stx_dev_minor), st.stx_ino, 0, 0};
  if (st.stx_mask & STATX_BTIME) {
    id.bornSeconds = static_cast<unsigned long long>(st.stx_btime.tv_sec);
    id.bornNanoseconds = st.stx_btime.tv_nsec;
  }
  return id;
}

// One line per file: "<device> <inode> <birth s> <birth ns> <path>", with
// '\\' and line breaks in the path escaped.
std::string Escape(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}

std::string Line(const Entry& e) {
  return std::to_string(e.id.device) + ' ' + std::to_string(e.id.inode) + ' ' +
         std::to_string(e.id.bornSeconds) + ' ' + std::to_string(e.id.bornNanoseconds) + ' ' +
         Escape(e.path) + '\n';
}

std::vector<Entry> ReadJournal(const std::string& journal) {
  std::vector<Entry> entries;
  std::ifstream in(journal);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    Entry e;
    if (!(fields >> e.id.device >> e.id.inode >> e.id.bornSeconds >> e.id.bornNanoseconds) ||
        fields.get() != ' ')
      continue;
    std::getline(fields, e.path);
    e.path = Unescape(e.path);
    if (!e.path.empty()) entries.push_back(std::move(e));
  }
  return entries;
}

void WriteJournal(const std::string& journal, const std::vector<Entry>& entries) {
  if (entries.empty()) {
    ::unlink(journal.c_str());
    return;
  }
  const std::string next = journal + ".new";
  {
    std::ofstream out(next, std::ios::trunc);
    for (const Entry& e : entries) out << Line(e);
    if (!out.flush()) return;
  }
  std::rename(next.c_str(), journal.c_str());
}

bool StillTheFileMade(const Entry& e) {
  return IdentityOf(AT_FDCWD, e.path.c_str(), 0) == e.id;
}

// The process's umask, read without changing it (umask() would, for a
// moment, for every thread).
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
  }
  return 022;
}
}  // namespace

std::string CreateOwnTemporary(const std::string& target, const std::string& journal,
                               std::string* error) {
  std::string path = target + ".XXXXXX.part";
  const int fd = ::mkostemps(path.data(), 5, O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = "cannot create a file beside " + target + ": " + std::strerror(errno);
    return {};
  }
  ::fchmod(fd, 0666 & ~CurrentUmask());
  const std::optional<Identity> id = IdentityOf(fd, "", AT_EMPTY_PATH);
  ::close(fd);
  if (id && !journal.empty()) {
    std::lock_guard guard(journalLock);
    std::ofstream(journal, std::ios::app) << Line({*id, path});
  }
  return path;
}

void ReleaseOwnTemporary(const std::string& path, const std::string& journal, bool remove) {
  std::lock_guard guard(journalLock);
  std::vector<Entry> entries = journal.empty() ? std::vector<Entry>() : ReadJournal(journal);
  std::vector<Entry> kept;
  bool listed = false;
  for (Entry& e : entries) {
    if (e.path != path) {
      kept.push_back(std::move(e));
      continue;
    }
    listed = true;
    if (remove && StillTheFileMade(e)) ::unlink(e.path.c_str());
  }
  // Not listed (no journal, or it could not be written): the path came
  // from CreateOwnTemporary, which made the file.
  if (remove && !listed) ::unlink(path.c_str());
  if (listed) WriteJournal(journal, kept);
}

int RemoveStaleOwnTemporaries(const std::string& journal) {
  if (journal.empty()) return 0;
  std::lock_guard guard(journalLock);
  int removed = 0;
  for (const Entry& e : ReadJournal(journal))
    if (StillTheFileMade(e) && ::unlink(e.path.c_str()) == 0) ++removed;
  WriteJournal(journal, {});
  return removed;
}

}  // namespace quillmarsh
