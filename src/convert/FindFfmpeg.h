#pragma once
// Where the ffmpeg program lies. Plain C++.

#include <string>

namespace quillmarsh {

// The application folder first, then the folders of `searchPath` (a
// colon-separated list such as $PATH; may be null). Only absolute folders
// count: an empty or relative entry would mean the current folder, which a
// file planted there must never win. Empty when no executable "ffmpeg" is found.
std::string FindFfmpeg(const std::string& appDir, const char* searchPath);

}  // namespace quillmarsh
