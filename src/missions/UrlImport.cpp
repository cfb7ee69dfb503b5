#include "missions/UrlImport.h"

#include "shared/RegularFile.h"
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
  std::optional<std::string> read = ReadRegularFile(path, maxBytes, Links::Follow);
  if (read) content = std::move(*read);
  return read.has_value();
}

}  // namespace quillmarsh
