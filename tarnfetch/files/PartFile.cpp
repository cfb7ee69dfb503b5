#include "files/PartFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdio.h>

#include <cerrno>
#include <cstring>

#include "core/FetchError.h"
#include "files/OutputFolder.h"

namespace tarnfetch {

PartFile::PartFile(const OutputFolder& folder, const std::string& finalName)
    : folder_(folder), name_(NameFor(finalName)), shownPath_(folder.Path() + "/" + name_) {
  // O_NONBLOCK keeps a FIFO planted under this name from blocking the open;
  // it does nothing for regular files.
  fd_ = openat(folder.Descriptor(), name_.c_str(),
               O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd_ < 0 && errno == ELOOP) {
    throw FetchError(shownPath_ + " is a link; a download is never written through one.");
  }
  if (fd_ < 0) Fail("Could not create ");
  struct stat info {};
  if (fstat(fd_, &info) != 0) Fail("Could not read ");
  if (!S_ISREG(info.st_mode)) {
    close(fd_);
    fd_ = -1;
    throw FetchError(shownPath_ + " is not a plain file.");
  }
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    close(fd_);
    fd_ = -1;
    throw FetchError("Another download is already writing " + shownPath_ + ".");
  }
  // The name may have been replaced between the open and the lock.
  try {
    CheckStillOurs();
  } catch (...) {
    close(fd_);
    fd_ = -1;
    throw;
  }
}

void PartFile::CheckStillOurs() const {
  struct stat open {};
  struct stat named {};
  if (fstat(fd_, &open) != 0) Fail("Could not read ");
  if (fstatat(folder_.Descriptor(), name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
      named.st_dev != open.st_dev || named.st_ino != open.st_ino) {
    throw FetchError(shownPath_ + " was replaced by another file during the download.");
  }
  if (open.st_nlink > 1) {
    throw FetchError(shownPath_ + " has more than one name (a hard link); it is left alone.");
  }
}

PartFile::~PartFile() {
  if (fd_ >= 0) close(fd_);
}

std::uint64_t PartFile::Size() const {
  struct stat info {};
  if (fstat(fd_, &info) != 0) Fail("Could not read ");
  return static_cast<std::uint64_t>(info.st_size);
}

void PartFile::StartOver() {
  // Truncating marks the file for a forced flush at close on ext4 (its
  // guard for the truncate-and-rewrite pattern), which would add seconds to
  // a large download; so an empty file is left untouched.
  if (Size() > 0 && ftruncate(fd_, 0) != 0) Fail("Could not empty ");
  if (lseek(fd_, 0, SEEK_SET) != 0) Fail("Could not empty ");
}

void PartFile::Resize(std::uint64_t size) {
  if (ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail("Could not cut ");
}

void PartFile::Continue() {
  if (lseek(fd_, 0, SEEK_END) < 0) Fail("Could not append to ");
}

bool PartFile::Write(const char* data, std::size_t size) {
  return WriteAll(data, size, std::nullopt);
}

bool PartFile::WriteAt(const char* data, std::size_t size, std::uint64_t offset) {
  return WriteAll(data, size, offset);
}

std::string PartFile::ReadAt(std::uint64_t offset, std::size_t size) const {
  std::string bytes(size, '\0');
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = pread(fd_, bytes.data() + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("Could not read ");
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

bool PartFile::WriteAll(const char* data, std::size_t size, std::optional<std::uint64_t> offset) {
  while (size > 0) {
    const ssize_t written =
        offset ? pwrite(fd_, data, size, static_cast<off_t>(*offset)) : write(fd_, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      failure_ = "Could not write " + shownPath_ + ": " +
                 (written < 0 ? std::strerror(errno) : "nothing was written") + ".";
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
    if (offset) *offset += static_cast<std::uint64_t>(written);
  }
  return true;
}

void PartFile::MoveTo(const std::string& finalName) {
  CheckStillOurs();
  if (renameat2(folder_.Descriptor(), name_.c_str(), folder_.Descriptor(), finalName.c_str(),
                RENAME_NOREPLACE) != 0) {
    const bool taken = errno == EEXIST;
    throw FetchError(taken ? "Another file appeared under the name " + folder_.Path() + "/" +
                                 finalName + " during the download; the download stays in " +
                                 shownPath_ + "."
                           : "Could not rename " + shownPath_ + " to " + finalName + ": " +
                                 std::strerror(errno) + ".");
  }
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    throw FetchError("Could not finish writing " + folder_.Path() + "/" + finalName + ": " +
                     std::strerror(errno) + ".");
  }
}

void PartFile::Close() {
  const int fd = fd_;
  fd_ = -1;
  if (fd >= 0 && close(fd) != 0) {
    throw FetchError("Could not finish writing " + shownPath_ + ": " + std::strerror(errno) + ".");
  }
}

void PartFile::Fail(const std::string& what) const {
  throw FetchError(what + shownPath_ + ": " + std::strerror(errno) + ".");
}

}  // namespace tarnfetch
