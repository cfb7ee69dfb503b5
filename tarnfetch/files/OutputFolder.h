#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarnfetch {

// The folder a download goes into, held open so that every file operation
// is relative to it: nothing is created, replaced or renamed elsewhere.
class OutputFolder {
 public:
  // Opens the folder, creating missing levels. Throws FetchError.
  explicit OutputFolder(const std::string& path);
  ~OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  int Descriptor() const { return fd_; }
  const std::string& Path() const { return path_; }

  struct Entry {
    bool regular = false;  // a plain file, not a link, folder or device
    std::uint64_t size = 0;
  };
  // What is under the name, without following a link; nothing when free.
  std::optional<Entry> Look(const std::string& name) const;

  // Removes a file if it is there. Throws FetchError on other failures.
  void Remove(const std::string& name) const;

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace tarnfetch
