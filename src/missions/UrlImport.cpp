#include "missions/UrlImport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "shared/Text.h"

namespace quillmarsh {

std::vector<std::string> UrlsFromText(std::string_view text) {
  std::vector<std::string> urls;
  for (const std::string& line : SplitLines(text)) {
    std::string url = Trim(line);
    if (!url.empty()) urls.push_back(std::move(url));
  }
  return urls;
}

bool ReadUrlFile(const std::string& path, std::string& content, std::size_t maxBytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            static_cast<std::size_t>(st.st_size) <= maxBytes;
  std::string data;
  char buf[65536];
  while (ok) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0 || data.size() + static_cast<std::size_t>(n) > maxBytes) {
      ok = false;
      break;
    }
    data.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (ok) content = std::move(data);
  return ok;
}

}  // namespace quillmarsh
