#include "ffmpeg/InputFormat.h"

#include <unistd.h>

#include <array>

namespace tarnfetch {
namespace {

constexpr std::size_t kPacket = 188;  // MPEG-TS

unsigned char At(std::string_view head, std::size_t pos) {
  return pos < head.size() ? static_cast<unsigned char>(head[pos]) : 0;
}

// Packed audio as HLS sends it may start with an ID3 tag: the frames follow.
std::size_t AfterId3(std::string_view head) {
  if (!head.starts_with("ID3") || head.size() < 10) return 0;
  std::size_t size = 10;
  for (std::size_t i = 6; i < 10; ++i)
    size += static_cast<std::size_t>(At(head, i) & 0x7F) << (7 * (9 - i));
  return size;
}

}  // namespace

std::string FfmpegInputFormat(std::string_view head) {
  if (At(head, 0) == 0x47 && (head.size() <= kPacket || At(head, kPacket) == 0x47)) return "mpegts";
  static constexpr std::array<std::string_view, 6> kMp4Boxes{"ftyp", "styp", "moov",
                                                             "moof", "free", "mdat"};
  for (const std::string_view box : kMp4Boxes) {
    if (head.size() >= 8 && head.substr(4, 4) == box) return "mp4";
  }
  if (head.starts_with("\x1A\x45\xDF\xA3")) return "matroska";
  if (head.starts_with("OggS")) return "ogg";
  const std::size_t frame = AfterId3(head);
  if (At(head, frame) == 0xFF && (At(head, frame + 1) & 0xE0) == 0xE0) {
    // Layer bits 00 after a 12-bit sync mark ADTS; the others MPEG audio.
    if ((At(head, frame + 1) & 0x06) != 0) return "mp3";
    if ((At(head, frame + 1) & 0xF0) == 0xF0) return "aac";
  }
  return {};
}

std::string FfmpegInputFormat(int fd) {
  std::array<char, 16384> buffer{};
  const ssize_t got = pread(fd, buffer.data(), buffer.size(), 0);
  if (got <= 0) return {};
  return FfmpegInputFormat(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
}

}  // namespace tarnfetch
