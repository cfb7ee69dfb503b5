#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tarnfetch {

class OutputFolder;

// The ".part" file a download is written to before it gets its final name.
// Opened without following links and locked, so that two downloads of the
// same name cannot interleave their data; it keeps the lock until it has
// its final name. A file with more than one link is refused: writing it
// would change the other name's file too.
class PartFile {
 public:
  static std::string NameFor(const std::string& finalName) { return finalName + ".part"; }

  // Opens or creates the file. Throws FetchError.
  PartFile(const OutputFolder& folder, const std::string& finalName);
  ~PartFile();
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  std::uint64_t Size() const;
  // Empties the file for a download from the start.
  void StartOver();
  // Positions at the end, to append to what an earlier run left.
  void Continue();
  // Makes the file this long, cutting what lies beyond.
  void Resize(std::uint64_t size);
  // Writes all bytes; false on failure, with the reason in LastFailure().
  bool Write(const char* data, std::size_t size);
  // The same at an offset, for transfers that fill the file in parts.
  bool WriteAt(const char* data, std::size_t size, std::uint64_t offset);
  // Up to size bytes from offset (fewer where the file ends). Throws
  // FetchError.
  std::string ReadAt(std::uint64_t offset, std::size_t size) const;
  // Gives the file its final name while still locked, never replacing a
  // file already there, then closes it. Throws FetchError.
  void MoveTo(const std::string& finalName);
  // Closes the file (and so its lock), reporting delayed write failures.
  // Throws FetchError.
  void Close();

  const std::string& Name() const { return name_; }
  const std::string& LastFailure() const { return failure_; }

 private:
  [[noreturn]] void Fail(const std::string& what) const;
  bool WriteAll(const char* data, std::size_t size, std::optional<std::uint64_t> offset);
  // Throws unless the name still refers to the open file, with one link.
  void CheckStillOurs() const;

  const OutputFolder& folder_;
  std::string name_;
  std::string shownPath_;
  std::string failure_;
  int fd_ = -1;
};

}  // namespace tarnfetch
