#include "download/SegmentContainer.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "shared/BigEndian.h"

namespace tarnfetch {
namespace {

constexpr std::size_t kTsPacket = 188;

std::uint8_t Byte(std::string_view data, std::size_t at) {
  return static_cast<std::uint8_t>(data[at]);
}

// A control character other than the line breaks and tabs of text: the
// headers and compressed data of a stream or an MP4 file hold some within
// their first bytes, an error page in any 8-bit encoding none.
bool HoldsBinary(std::string_view head) {
  return std::any_of(head.begin(), head.end(), [](char c) {
    const auto byte = static_cast<std::uint8_t>(c);
    return byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r';
  });
}

// A packet header: the sync byte, and a payload or an adaptation field
// (never the reserved "neither"), which a UTF-16 page's zero byte is.
bool IsPacketHeader(std::string_view head, std::size_t at) {
  return Byte(head, at) == 0x47 && (Byte(head, at + 3) & 0x30) != 0;
}

// Packet headers at the start of both packets the head holds, and a
// binary byte: a page that starts with 'G', in any encoding, is not a
// stream.
bool IsTransportStream(std::string_view head) {
  if (head.size() < kTsPacket + 4) return false;
  return IsPacketHeader(head, 0) && IsPacketHeader(head, kTsPacket) && HoldsBinary(head);
}

// A box of a type that stands at the top of an MP4 file or fragment, with
// a size that can be one (0: to the end, 1: a 64-bit size follows).
bool IsMp4Box(std::string_view head) {
  static constexpr std::array<std::string_view, 16> kTopLevel{
      "ftyp", "styp", "moov", "moof", "mdat", "sidx", "ssix", "emsg",
      "prft", "free", "skip", "wide", "pdin", "uuid", "meta", "mfra"};
  if (head.size() < 8) return false;
  const std::uint64_t size = quillmarsh::ReadBigEndian(head, 0, 4);
  if (size != 0 && size != 1 && size < 8) return false;
  return std::find(kTopLevel.begin(), kTopLevel.end(), head.substr(4, 4)) != kTopLevel.end() &&
         HoldsBinary(head.substr(0, kSegmentHeadBytes));
}

// The EBML header, a Segment, a Cluster or the Cues: what a WebM file or
// one of its DASH segments starts with.
bool IsWebM(std::string_view head) {
  static constexpr std::array<std::string_view, 4> kElements{
      "\x1A\x45\xDF\xA3", "\x18\x53\x80\x67", "\x1F\x43\xB6\x75", "\x1C\x53\xBB\x6B"};
  return head.size() >= 4 &&
         std::find(kElements.begin(), kElements.end(), head.substr(0, 4)) != kElements.end();
}

// An ADTS header (layer 0) or an MPEG audio frame of layer II or III, with
// a bitrate and sampling rate that exist. Layer I is left out: its sync
// bytes are UTF-16's byte-order mark (FF FE).
bool IsAudioFrame(std::string_view head) {
  if (head.size() < 4 || Byte(head, 0) != 0xFF || (Byte(head, 1) & 0xE0) != 0xE0) return false;
  const int layer = (Byte(head, 1) >> 1) & 3;
  if (layer == 0) return (Byte(head, 1) & 0xF0) == 0xF0 && ((Byte(head, 2) >> 2) & 15) < 13;
  const int version = (Byte(head, 1) >> 3) & 3;
  const int bitrate = Byte(head, 2) >> 4;
  return layer != 3 && version != 1 && bitrate != 0 && bitrate != 15 &&
         ((Byte(head, 2) >> 2) & 3) != 3;
}

// "ID3", a version 2 to 4, and a size of four 7-bit bytes: the tag packed
// audio and some streams put before their first frame.
bool IsId3Tag(std::string_view head) {
  if (head.size() < 10 || head.substr(0, 3) != "ID3") return false;
  if (Byte(head, 3) < 2 || Byte(head, 3) > 4 || Byte(head, 4) == 0xFF) return false;
  return std::all_of(head.begin() + 6, head.begin() + 10,
                     [](char c) { return (static_cast<std::uint8_t>(c) & 0x80) == 0; });
}

}  // namespace

SegmentContainer ContainerOfSection(std::string_view section) {
  if (IsMp4Box(section)) return SegmentContainer::Mp4;
  if (IsWebM(section)) return SegmentContainer::WebM;
  return SegmentContainer::Any;
}

bool SegmentStartsAs(std::string_view head, SegmentContainer container) {
  head = head.substr(0, kSegmentHeadBytes);
  switch (container) {
    case SegmentContainer::Mp4:
      return IsMp4Box(head);
    case SegmentContainer::WebM:
      return IsWebM(head);
    case SegmentContainer::Any:
      break;
  }
  return IsTransportStream(head) || IsMp4Box(head) || IsWebM(head) || IsAudioFrame(head) ||
         IsId3Tag(head);
}

}  // namespace tarnfetch
