#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/FetchOptions.h"
#include "http/ByteRange.h"
#include "http/StreamHeaders.h"

namespace tarnfetch {

// What tells one stream's first segment from another's: the SHA-256 of its
// first kFirstSegmentBytes as the server sends them. A ".part" continues
// only a stream whose first segment still has the digest recorded with it,
// since addresses differing only in their query (signed tokens) may name
// another video of the same length.
constexpr std::size_t kFirstSegmentBytes = 64u << 10;

// Collects the first bytes of a segment as it is written.
class FirstSegmentHead {
 public:
  void Add(std::string_view bytes) {
    head_.append(bytes.substr(0, kFirstSegmentBytes - head_.size()));
  }
  std::string Digest() const;

 private:
  std::string head_;
};

// Fetches those first bytes of the segment at `url` (within `range`, when
// the segment is a piece of a file) and gives their digest. Throws
// FetchError when it cannot be fetched.
std::string FetchFirstSegmentDigest(const std::string& url, std::optional<ByteRange> range,
                                    const StreamHeaders& headers, const FetchOptions& options);

}  // namespace tarnfetch
