#include "shared/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <unordered_map>
#include <vector>

#include "shared/AtomicFile.h"
#include "shared/IniSyntax.h"
#include "shared/Numbers.h"
#include "shared/Text.h"

namespace quillmarsh {

using namespace IniSyntax;

namespace {
constexpr std::string_view kBom = "\xEF\xBB\xBF";

// One section: its own line and the lines up to the next section line.
// Lines are kept as they were read, each ended by '\n' in memory.
struct Section {
  std::string header;  // empty for the lines before the first section
  std::string body;
  Section* nextSame = nullptr;  // a later section of the same name
  bool erased = false;
};

// Where a key's line lies in a section body.
struct KeyPos {
  std::size_t lineEnd;
  std::size_t valueStart;
  bool hasEquals;
};

std::optional<KeyPos> FindKey(const std::string& body, std::string_view key) {
  for (std::size_t pos = 0; pos < body.size();) {
    const std::size_t end = body.find('\n', pos);
    KeyLine k{};
    if (ParseKeyLine(std::string_view(body).substr(pos, end - pos), k) && EqualsNoCase(k.name, key))
      return KeyPos{end, pos + k.valueStart, k.hasEquals};
    pos = end + 1;
  }
  return std::nullopt;
}

// A new key goes after the section's last non-blank line, so that blank
// lines separating it from the next section stay where they are.
std::size_t AppendPoint(const std::string& body) {
  std::size_t point = 0;
  for (std::size_t pos = 0; pos < body.size();) {
    const std::size_t end = body.find('\n', pos);
    if (!TrimView(std::string_view(body).substr(pos, end - pos)).empty()) point = end + 1;
    pos = end + 1;
  }
  return point;
}

// Reading never fails: anything unreadable is an empty file.
std::string ReadWholeFile(const std::string& path) {
  std::string text;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    text.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[1 << 16];
    for (;;) {
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
  }
  close(fd);
  return text;
}
}  // namespace

IniWriteError::IniWriteError(const std::string& path, int error)
    : std::runtime_error("Unable to write to " + path), error_(error) {}

bool IniWriteError::PermissionDenied() const {
  return error_ == EACCES || error_ == EPERM || error_ == EROFS;
}

struct IniFile::Impl {
  struct Entry {
    Section* first;
    Section* last;
  };

  std::string path;
  bool bom = false;
  std::vector<std::unique_ptr<Section>> sections;  // [0]: lines before the first section
  std::unordered_map<std::string, Entry> index;    // lower-case name -> live sections
  std::size_t erased = 0;
  bool dirty = false;

  Section& Append(std::string header, std::string_view name) {
    Section* s = sections.emplace_back(std::make_unique<Section>()).get();
    s->header = std::move(header);
    auto [it, inserted] = index.try_emplace(LowerAscii(name), Entry{s, s});
    if (!inserted) {
      it->second.last->nextSame = s;
      it->second.last = s;
    }
    return *s;
  }

  void Parse(std::string_view text) {
    sections.push_back(std::make_unique<Section>());
    if (text.substr(0, kBom.size()) == kBom) {
      bom = true;
      text.remove_prefix(kBom.size());
    }
    Section* current = sections.front().get();
    // Lines end at CR LF, a lone CR or a lone LF.
    for (std::size_t pos = 0; pos < text.size();) {
      std::size_t end = text.find_first_of("\r\n", pos);
      if (end == std::string_view::npos) end = text.size();
      const std::string_view line = text.substr(pos, end - pos);
      pos = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
      std::string_view name;
      if (ParseSectionLine(line, name)) {
        current = &Append(std::string(line), name);
      } else {
        current->body.append(line);
        current->body.push_back('\n');
      }
    }
  }

  std::optional<std::string> Value(std::string_view section, std::string_view key) const {
    const Section* s = Find(section);
    if (!s) return std::nullopt;
    const auto k = FindKey(s->body, key);
    if (!k) return std::nullopt;
    return ReadValue(std::string_view(s->body).substr(k->valueStart, k->lineEnd - k->valueStart));
  }

  Section* Find(std::string_view name) const {
    const auto it = index.find(LowerAscii(name));
    return it == index.end() ? nullptr : it->second.first;
  }

  // Erased sections are dropped in one pass rather than one at a time.
  void Compact() {
    if (erased == 0) return;
    std::erase_if(sections, [](const std::unique_ptr<Section>& s) { return s->erased; });
    erased = 0;
  }

  std::string Serialize() {
    Compact();
    std::size_t size = bom ? kBom.size() : 0;
    for (const auto& s : sections) {
      const auto lines = static_cast<std::size_t>(std::count(s->body.begin(), s->body.end(), '\n'));
      size += s->header.size() + 2 + s->body.size() + lines;
    }
    std::string out;
    out.reserve(size);
    if (bom) out.append(kBom);
    for (const auto& s : sections) {
      if (!s->header.empty()) out.append(s->header).append("\r\n");
      std::size_t pos = 0;
      for (std::size_t nl; (nl = s->body.find('\n', pos)) != std::string::npos; pos = nl + 1)
        out.append(s->body, pos, nl - pos).append("\r\n");
    }
    return out;
  }
};

IniFile::IniFile(std::string path) : impl_(std::make_unique<Impl>()) {
  impl_->path = std::move(path);
  impl_->Parse(ReadWholeFile(impl_->path));
}

IniFile::~IniFile() = default;

const std::string& IniFile::path() const {
  return impl_->path;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view def) const {
  auto value = impl_->Value(section, key);
  return value ? std::move(*value) : std::string(def);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
  const auto text = impl_->Value(section, key);
  int value = 0;
  return text && ParseInt32(*text, value) ? value : def;
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  // Read as an integer; a missing or unparsable value gives `def`.
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

std::vector<std::string> IniFile::SectionNames() const {
  std::vector<std::string> names;
  names.reserve(impl_->sections.size());
  for (const auto& s : impl_->sections) {
    std::string_view name;
    if (!s->erased && ParseSectionLine(s->header, name)) names.emplace_back(name);
  }
  return names;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  const std::string name = OneLine(section);
  const std::string line = OneLine(key) + "=" + OneLine(value);
  if (Section* s = impl_->Find(name)) {
    if (const auto k = FindKey(s->body, key)) {
      const std::string v = OneLine(value);
      if (k->hasEquals)
        s->body.replace(k->valueStart, k->lineEnd - k->valueStart, v);
      else
        s->body.insert(k->lineEnd, "=" + v);
    } else {
      s->body.insert(AppendPoint(s->body), line + "\n");
    }
  } else {
    impl_->Append("[" + name + "]", name).body = line + "\n";
  }
  impl_->dirty = true;
  flushOrDefer();
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void IniFile::EraseSection(std::string_view section) {
  const auto it = impl_->index.find(LowerAscii(section));
  if (it != impl_->index.end()) {
    for (Section* s = it->second.first; s; s = s->nextSame) {
      s->erased = true;
      ++impl_->erased;
    }
    impl_->index.erase(it);
    // Keeps memory bounded when many erasures are never written out.
    if (impl_->erased > impl_->sections.size() / 2) impl_->Compact();
  }
  impl_->dirty = true;
  flushOrDefer();
}

void IniFile::flushOrDefer() {
  if (batchDepth_ > 0 || !impl_->dirty) return;
  if (!WriteFileAtomically(impl_->path, impl_->Serialize()))
    throw IniWriteError(impl_->path, errno);
  impl_->dirty = false;
}

IniFile::Batch::Batch(IniFile& ini) : ini_(ini) {
  ++ini_.batchDepth_;
}

IniFile::Batch::~Batch() {
  if (!committed_) --ini_.batchDepth_;
}

void IniFile::Batch::commit() {
  if (committed_) return;
  committed_ = true;
  --ini_.batchDepth_;
  ini_.flushOrDefer();
}

void IniFile::RemoveStaleTemporaries(const std::string& path) {
  RemoveAtomicTemporaries(path);
}

}  // namespace quillmarsh
