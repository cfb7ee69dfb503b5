#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarnfetch {

class OutputFolder;
struct OutputTarget;

// "Title.mp4" numbered 2 is "Title (2).mp4"; the title part is shortened
// when needed so that the name stays within maxBytes.
std::string NumberedName(const std::string& name, unsigned number, std::size_t maxBytes);

struct ChosenName {
  std::string name;
  std::string path;       // the absolute path shown to the user
  bool complete = false;  // the video is already there under this name
};

// The name the download goes to. A file already under a name is never
// replaced: if it has the announced (non-zero) length it is taken for this
// video, otherwise the next number is tried. The choice depends only on
// the folder's files, so a run started again finds its own ".part".
// Throws FetchError when every number is taken.
ChosenName ChooseName(const OutputFolder& folder, const OutputTarget& target,
                      std::optional<std::uint64_t> length);

}  // namespace tarnfetch
