#include "core/MediaSniff.h"

#include <algorithm>
#include <array>

#include "core/MediaType.h"

namespace tarnfetch {
namespace {

// ISO base media boxes a file can begin with.
bool StartsWithBox(std::string_view head) {
  static constexpr std::array<std::string_view, 9> kBoxes{"ftyp", "styp", "moov", "moof", "mdat",
                                                          "free", "wide", "skip", "sidx"};
  if (head.size() < 8) return false;
  const std::string_view type = head.substr(4, 4);
  return std::find(kBoxes.begin(), kBoxes.end(), type) != kBoxes.end();
}

// Transport stream packets are 188 bytes, each starting with 0x47.
bool StartsTransportStream(std::string_view head) {
  return head.size() > 188 && head[0] == 0x47 && head[188] == 0x47;
}

// 0xFFF followed by the bits of ADTS (layer 0) or an MPEG audio Layer III
// frame; a UTF-16 byte-order mark (FF FE) is neither.
bool StartsAudioFrame(std::string_view head) {
  if (head.size() < 2 || static_cast<unsigned char>(head[0]) != 0xFF) return false;
  const auto second = static_cast<unsigned char>(head[1]);
  return (second & 0xF6) == 0xF0 || (second & 0xE6) == 0xE2;
}

bool StartsRiff(std::string_view head) {
  return head.starts_with("RIFF") && head.size() >= 12 &&
         (head.substr(8, 4) == "AVI " || head.substr(8, 4) == "WAVE");
}

}  // namespace

bool LooksLikeMediaStart(std::string_view head) {
  using namespace std::string_view_literals;
  if (head.empty() || LooksLikeText(head)) return false;
  static constexpr std::array kMagic{
      "\x1A\x45\xDF\xA3"sv, "OggS"sv, "FLV\x01"sv, "\x00\x00\x01\xBA"sv,
      "\x00\x00\x01\xB3"sv, "ID3"sv,  "fLaC"sv,    "\x30\x26\xB2\x75\x8E\x66\xCF\x11"sv};
  for (const std::string_view magic : kMagic) {
    if (head.starts_with(magic)) return true;
  }
  return StartsWithBox(head) || StartsTransportStream(head) || StartsAudioFrame(head) ||
         StartsRiff(head);
}

}  // namespace tarnfetch
