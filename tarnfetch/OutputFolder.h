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

  // True when a regular file of that name is there and, if the expected
  // size is known, has that size. Throws FetchError when the name is taken
  // by something that is not a regular file.
  bool HasCompleteFile(const std::string& name, std::optional<std::uint64_t> expectedSize) const;

  // The size of a regular file there, or nothing when there is none.
  std::optional<std::uint64_t> FileSize(const std::string& name) const;

  // Replaces `to` with `from`, both in this folder. Throws FetchError.
  void Rename(const std::string& from, const std::string& to) const;

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace tarnfetch
