#pragma once

#include <cstddef>
#include <string_view>

namespace tarnfetch {

// The container a stream's segments come in. A segment after an
// initialisation section continues that section's container; a segment
// without one may be any container a stream carries whole in each segment.
enum class SegmentContainer {
  Any,   // MPEG-TS, ADTS or MPEG audio (maybe after an ID3 tag), MP4, WebM
  Mp4,   // fragmented MP4: a box of a known top-level type
  WebM,  // Matroska elements: a cluster, cues or a whole header
};

// How many bytes of a segment SegmentStartsAs looks at: the second
// MPEG-TS packet starts at
// 188 and its header's bytes up to 191.
constexpr std::size_t kSegmentHeadBytes = 192;

// The container an initialisation section opens; Any when it is neither
// MP4 nor WebM.
SegmentContainer ContainerOfSection(std::string_view section);

// True when `head` (the first kSegmentHeadBytes of a segment, fewer when
// the segment is shorter) starts as `container` does. An error page in any
// encoding, a JSON answer or random bytes do not.
bool SegmentStartsAs(std::string_view head, SegmentContainer container);

}  // namespace tarnfetch
