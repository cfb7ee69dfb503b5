#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarnfetch {

class OutputFolder;
class ProgressReporter;

// Downloads one media address into "<name>.part" in the output folder and
// renames it to <name> once its size equals the announced length. A ".part"
// left by an earlier run is continued with a Range request, but appended to
// only when the server answers 206 from exactly its size; anything else
// starts the file again from zero.
class MediaDownload {
 public:
  MediaDownload(const OutputFolder& folder, std::string name, ProgressReporter& progress)
      : folder_(folder), name_(std::move(name)), progress_(progress) {}

  // Returns the size of the finished file. Throws FetchError; whatever was
  // received stays in the ".part" file for the next run.
  std::uint64_t Run(const std::string& url, std::optional<std::uint64_t> announcedLength);

 private:
  enum class Outcome { Complete, StartAgain };
  Outcome Attempt(const std::string& url, std::uint64_t offset);

  const OutputFolder& folder_;
  std::string name_;
  ProgressReporter& progress_;
};

}  // namespace tarnfetch
