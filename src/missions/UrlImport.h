#pragma once
// The addresses of an imported text file: one per line, trimmed, blank
// lines skipped, repeated lines kept.

#include <string>
#include <string_view>
#include <vector>

namespace quillmarsh {

std::vector<std::string> UrlsFromText(std::string_view text);

// Reads the file; false when it cannot be read (nothing is then imported).
// Files beyond `maxBytes` are refused rather than read into memory.
bool ReadUrlFile(const std::string& path, std::string& content, std::size_t maxBytes = 256u << 20);

}  // namespace quillmarsh
