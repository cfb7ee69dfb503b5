#include "ffmpeg/WholeMedia.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "shared/BigEndian.h"

namespace tarnfetch {
namespace {

using Bytes = std::array<unsigned char, 16>;

std::optional<Bytes> ReadAt(int fd, std::uint64_t offset, std::size_t size) {
  Bytes bytes{};
  if (pread(fd, bytes.data(), size, static_cast<off_t>(offset)) != static_cast<ssize_t>(size)) {
    return std::nullopt;
  }
  return bytes;
}

std::uint64_t BigEndian(const unsigned char* bytes, std::size_t size) {
  return quillmarsh::ReadBigEndian({reinterpret_cast<const char*>(bytes), size}, 0, size);
}

// An MP4 box: a 32-bit (or, marked 1, 64-bit) size, then its type.
struct Box {
  std::string type;
  std::uint64_t header = 8;
  std::uint64_t size = 0;
};

// The box at `at`, when it lies whole within `end`.
std::optional<Box> BoxAt(int fd, std::uint64_t at, std::uint64_t end) {
  if (end - at < 8) return std::nullopt;
  const auto head = ReadAt(fd, at, std::min<std::uint64_t>(16, end - at));
  if (!head) return std::nullopt;
  Box box{std::string(reinterpret_cast<const char*>(head->data()) + 4, 4), 8,
          BigEndian(head->data(), 4)};
  if (box.size == 1) {
    if (end - at < 16) return std::nullopt;
    box.size = BigEndian(head->data() + 8, 8);
    box.header = 16;
  }
  if (box.size < box.header || box.size > end - at) return std::nullopt;
  return box;
}

// MP4: boxes that tile the file, one of them the index.
bool WholeMp4(int fd, std::uint64_t fileSize) {
  bool index = false;
  for (std::uint64_t at = 0; at < fileSize;) {
    const auto box = BoxAt(fd, at, fileSize);
    if (!box) return false;
    index = index || box->type == "moov";
    at += box->size;
  }
  return index;
}

// An EBML element's ID and size at `at`; the size is empty when unknown.
struct Element {
  std::uint64_t id = 0;
  std::optional<std::uint64_t> size;
  std::uint64_t dataStart = 0;
};

// A variable-length number: its length is marked by its first set bit.
std::optional<std::pair<std::uint64_t, std::size_t>> Vint(const Bytes& bytes, std::size_t at,
                                                          bool keepMarker) {
  if (at >= bytes.size()) return std::nullopt;
  std::size_t length = 1;
  while (length <= 8 && (bytes[at] & (0x80 >> (length - 1))) == 0) ++length;
  if (length > 8 || at + length > bytes.size()) return std::nullopt;
  std::uint64_t value = BigEndian(&bytes[at], length);
  if (!keepMarker) value &= (std::uint64_t{1} << (7 * length)) - 1;
  return std::pair{value, length};
}

std::optional<Element> ReadElement(int fd, std::uint64_t at, std::uint64_t fileSize) {
  const auto bytes =
      ReadAt(fd, at, static_cast<std::size_t>(std::min<std::uint64_t>(16, fileSize - at)));
  if (!bytes || fileSize - at < 2) return std::nullopt;
  const auto id = Vint(*bytes, 0, true);
  const auto size = id ? Vint(*bytes, id->second, false) : std::nullopt;
  if (!size) return std::nullopt;
  Element element{id->first, size->first, at + id->second + size->second};
  // All value bits set: "unknown", as a muxer leaves it until its trailer.
  if (size->first == (std::uint64_t{1} << (7 * size->second)) - 1) element.size.reset();
  return element;
}

// Matroska: the EBML header, then one segment of known size to the end.
bool WholeMatroska(int fd, std::uint64_t fileSize) {
  const auto header = ReadElement(fd, 0, fileSize);
  if (!header || header->id != 0x1A45DFA3 || !header->size ||
      *header->size > fileSize - header->dataStart) {
    return false;
  }
  const auto segment = ReadElement(fd, header->dataStart + *header->size, fileSize);
  return segment && segment->id == 0x18538067 && segment->size &&
         segment->dataStart + *segment->size == fileSize;
}

// The box of `type` among those that tile [at, end): where its body
// begins and ends.
std::optional<std::pair<std::uint64_t, std::uint64_t>> FindBox(int fd, std::uint64_t at,
                                                               std::uint64_t end,
                                                               std::string_view type) {
  while (end - at >= 8) {
    const auto box = BoxAt(fd, at, end);
    if (!box) return std::nullopt;
    if (box->type == type) return std::pair{at + box->header, at + box->size};
    at += box->size;
  }
  return std::nullopt;
}

// mvhd: version, flags, two times (32 or 64 bits), the timescale, the
// duration (32 or 64 bits).
std::optional<double> Mp4Duration(int fd, std::uint64_t fileSize) {
  const auto moov = FindBox(fd, 0, fileSize, "moov");
  const auto mvhd = moov ? FindBox(fd, moov->first, moov->second, "mvhd") : std::nullopt;
  const auto version = mvhd ? ReadAt(fd, mvhd->first, 1) : std::nullopt;
  if (!version) return std::nullopt;
  const bool wide = (*version)[0] == 1;
  const std::uint64_t at = mvhd->first + (wide ? 20 : 12);
  const std::size_t length = wide ? 12 : 8;
  const auto fields = at + length <= mvhd->second ? ReadAt(fd, at, length) : std::nullopt;
  if (!fields) return std::nullopt;
  const std::uint64_t scale = BigEndian(fields->data(), 4);
  if (scale == 0) return std::nullopt;
  return static_cast<double>(BigEndian(fields->data() + 4, length - 4)) /
         static_cast<double>(scale);
}

// Segment > Info > TimestampScale (nanoseconds a tick, by default a
// million) and Duration (ticks, a 4- or 8-byte float).
std::optional<double> MatroskaDuration(int fd, std::uint64_t fileSize) {
  constexpr std::uint64_t kSegment = 0x18538067, kInfo = 0x1549A966, kScale = 0x2AD7B1,
                          kDuration = 0x4489;
  constexpr int kMostElements = 64;  // the Info comes among the first
  const auto header = ReadElement(fd, 0, fileSize);
  if (!header || !header->size || *header->size > fileSize - header->dataStart) return {};
  const auto segment = ReadElement(fd, header->dataStart + *header->size, fileSize);
  if (!segment || segment->id != kSegment) return std::nullopt;
  std::uint64_t at = segment->dataStart;
  std::optional<Element> info;
  for (int i = 0; i < kMostElements && at < fileSize && !info; ++i) {
    const auto element = ReadElement(fd, at, fileSize);
    if (!element || !element->size || *element->size > fileSize - element->dataStart) return {};
    if (element->id == kInfo) info = element;
    at = element->dataStart + *element->size;
  }
  if (!info) return std::nullopt;
  double scale = 1e6;
  std::optional<double> ticks;
  const std::uint64_t end = info->dataStart + *info->size;
  for (at = info->dataStart; at < end;) {
    const auto element = ReadElement(fd, at, end);
    if (!element || !element->size || *element->size > end - element->dataStart) break;
    const auto size = static_cast<std::size_t>(*element->size);
    const auto value = size <= 8 ? ReadAt(fd, element->dataStart, size) : std::nullopt;
    if (value && element->id == kScale && size > 0) {
      scale = static_cast<double>(BigEndian(value->data(), size));
    } else if (value && element->id == kDuration && (size == 4 || size == 8)) {
      const std::uint64_t bits = BigEndian(value->data(), size);
      ticks = size == 4 ? std::bit_cast<float>(static_cast<std::uint32_t>(bits))
                        : std::bit_cast<double>(bits);
    }
    at = element->dataStart + *element->size;
  }
  if (!ticks) return std::nullopt;
  return *ticks * scale / 1e9;
}

}  // namespace

bool IsWholeMediaFile(int fd, std::string_view muxer) {
  struct stat info {};
  if (fstat(fd, &info) != 0 || info.st_size <= 0) return false;
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (muxer == "mp4") return WholeMp4(fd, size);
  if (muxer == "matroska") return WholeMatroska(fd, size);
  return false;
}

std::optional<double> MediaDuration(int fd, std::string_view muxer) {
  struct stat info {};
  if (fstat(fd, &info) != 0 || info.st_size <= 0) return std::nullopt;
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (muxer == "mp4") return Mp4Duration(fd, size);
  if (muxer == "matroska") return MatroskaDuration(fd, size);
  return std::nullopt;
}

}  // namespace tarnfetch
