#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tarnfetch {

// The bytes of one segment that arrived before its turn to be written.
// Small segments stay in memory; a large one moves to an unnamed file in
// the output folder, so that memory stays bounded whatever the segment size.
class SegmentSpool {
 public:
  explicit SegmentSpool(int folderFd) : folderFd_(folderFd) {}
  ~SegmentSpool();
  SegmentSpool(const SegmentSpool&) = delete;
  SegmentSpool& operator=(const SegmentSpool&) = delete;

  // Writes at position, forgetting anything kept beyond it (a retry sends
  // again from an earlier point). False on failure, with the reason.
  bool WriteAt(std::uint64_t position, const char* data, std::size_t size, std::string* failure);
  std::uint64_t Size() const { return size_; }

  // Hands the bytes to fn in order, in pieces; stops when fn returns false.
  bool Read(const std::function<bool(const char*, std::size_t)>& fn, std::string* failure) const;

 private:
  bool MoveToFile(std::string* failure);

  int folderFd_;
  int fd_ = -1;
  std::string memory_;
  std::uint64_t size_ = 0;
};

}  // namespace tarnfetch
