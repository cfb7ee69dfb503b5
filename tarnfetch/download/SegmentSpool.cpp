#include "download/SegmentSpool.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tarnfetch {
namespace {

// Eight segments in flight keep at most this much each in memory.
constexpr std::uint64_t kMemoryBytes = 1 << 20;
constexpr std::size_t kReadPiece = 256 << 10;

std::string Reason(const char* what) {
  return std::string(what) + ": " + std::strerror(errno) + ".";
}

}  // namespace

SegmentSpool::~SegmentSpool() {
  if (fd_ >= 0) close(fd_);
}

bool SegmentSpool::MoveToFile(std::string* failure) {
  fd_ = openat(folderFd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    *failure = Reason("Could not make a temporary file in the output folder");
    return false;
  }
  if (pwrite(fd_, memory_.data(), memory_.size(), 0) != static_cast<ssize_t>(memory_.size())) {
    *failure = Reason("Could not write a temporary file in the output folder");
    return false;
  }
  std::string().swap(memory_);
  return true;
}

bool SegmentSpool::WriteAt(std::uint64_t position, const char* data, std::size_t size,
                           std::string* failure) {
  if (position > size_) {
    *failure = "A segment arrived with a gap.";
    return false;
  }
  size_ = position;
  if (fd_ < 0) {
    memory_.resize(static_cast<std::size_t>(position));
    if (size_ + size <= kMemoryBytes) {
      memory_.append(data, size);
      size_ += size;
      return true;
    }
    if (!MoveToFile(failure)) return false;
  }
  while (size > 0) {
    const ssize_t written = pwrite(fd_, data, size, static_cast<off_t>(size_));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      *failure = Reason("Could not write a temporary file in the output folder");
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
    size_ += static_cast<std::uint64_t>(written);
  }
  return true;
}

bool SegmentSpool::Read(const std::function<bool(const char*, std::size_t)>& fn,
                        std::string* failure) const {
  if (fd_ < 0) return fn(memory_.data(), memory_.size());
  std::vector<char> buffer(kReadPiece);
  for (std::uint64_t at = 0; at < size_;) {
    const ssize_t got = pread(fd_, buffer.data(), buffer.size(), static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      *failure = Reason("Could not read a temporary file in the output folder");
      return false;
    }
    if (!fn(buffer.data(), static_cast<std::size_t>(got))) return false;
    at += static_cast<std::uint64_t>(got);
  }
  return true;
}

}  // namespace tarnfetch
