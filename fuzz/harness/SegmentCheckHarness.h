#pragma once
// tarnfetch's check that a segment from an untrusted server starts as the
// container its playlist or manifest announced. The input's first byte
// picks the container, the rest is the segment's start. Whatever is taken
// for media is decided by the first bytes alone, is also taken where any
// container may come, and is never a page of text (ASCII or UTF-16).

#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "download/SegmentContainer.h"

namespace fuzz {

// Printable ASCII and the white space of text.
inline bool IsTextByte(unsigned char c) {
  return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n' || c == '\r';
}

inline bool IsText(std::string_view head) {
  for (const char c : head) {
    if (!IsTextByte(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

inline void RunSegmentCheck(std::string_view data) {
  using tarnfetch::SegmentContainer;
  using tarnfetch::SegmentStartsAs;
  if (data.empty()) return;
  const auto container = static_cast<SegmentContainer>(static_cast<std::uint8_t>(data[0]) % 3);
  const std::string_view segment = data.substr(1);
  const std::string_view head = segment.substr(0, tarnfetch::kSegmentHeadBytes);
  const bool taken = SegmentStartsAs(segment, container);
  FUZZ_CHECK(taken == SegmentStartsAs(head, container));
  if (taken) FUZZ_CHECK(SegmentStartsAs(segment, SegmentContainer::Any));
  if (IsText(head)) FUZZ_CHECK(!taken);
  if (tarnfetch::ContainerOfSection(segment) == SegmentContainer::Mp4) {
    FUZZ_CHECK(SegmentStartsAs(segment, SegmentContainer::Mp4));
  }
  // The same text as UTF-16, with and without a byte-order mark.
  std::string wide;
  for (const char c : head) {
    if (IsTextByte(static_cast<unsigned char>(c))) wide += {c, '\0'};
  }
  for (const std::string& page :
       {wide, "\xFF\xFE" + wide, '\0' + wide, std::string("\xFE\xFF\0", 3) + wide}) {
    FUZZ_CHECK(!SegmentStartsAs(page, SegmentContainer::Any));
  }
}

}  // namespace fuzz
