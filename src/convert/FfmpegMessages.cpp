#include "convert/FfmpegMessages.h"

#include <algorithm>

#include "convert/FfmpegText.h"
#include "shared/Text.h"

namespace quillmarsh {

namespace {
// A line without an end (a stream of progress with no break) is examined
// once it is this long rather than held without bound.
constexpr std::size_t kMaxLine = 64 * 1024;
constexpr std::string_view kFilePrefix = "file:";

void AddName(std::vector<std::string>& names, const std::string& name) {
  if (name.empty()) return;
  names.push_back(name);
  // ffmpeg names a "file:" argument with or without its prefix.
  if (name.compare(0, kFilePrefix.size(), kFilePrefix) == 0 && name.size() > kFilePrefix.size())
    names.push_back(name.substr(kFilePrefix.size()));
}
}  // namespace

void FfmpegMessages::SetFileNames(const std::vector<std::string>& argv) {
  names_.clear();
  for (std::size_t i = 1; i + 1 < argv.size(); ++i)
    if (argv[i] == "-i") AddName(names_, argv[i + 1]);
  if (argv.size() > 1) AddName(names_, argv.back());
  // A name inside a longer one must not cut the longer one apart first.
  std::sort(names_.begin(), names_.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
}

std::string FfmpegMessages::OwnWords(std::string_view line) const {
  std::string own(line);
  for (const std::string& name : names_)
    for (std::size_t at; (at = own.find(name)) != std::string::npos;) own.erase(at, name.size());
  return own;
}

void FfmpegMessages::Add(std::string_view chunk) {
  // Progress lines end with a lone CR, messages with LF.
  for (std::size_t end; (end = chunk.find_first_of("\r\n")) != std::string_view::npos;) {
    partial_.append(chunk.substr(0, end));
    Examine(partial_);
    partial_.clear();
    chunk.remove_prefix(end + 1);
  }
  partial_.append(chunk);
  if (partial_.size() >= kMaxLine) {
    Examine(partial_);
    partial_.clear();
  }
}

void FfmpegMessages::End() {
  if (!partial_.empty()) Examine(partial_);
  partial_.clear();
}

void FfmpegMessages::Examine(std::string_view line) {
  const std::string own = OwnWords(line);
  const bool fatal = HasFatalFfmpegText(own);
  if (fatal) fatalTextSeen_ = true;
  if (!fatal && !IsFfmpegErrorText(own)) return;
  // The closing summary says less than the message before it.
  if (Trim(own) == "Conversion failed!" && !lastError_.empty()) return;
  lastError_ = Trim(line);
}

}  // namespace quillmarsh
