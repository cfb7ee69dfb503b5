#include "download/FirstSegment.h"

#include <algorithm>

#include "core/FetchError.h"
#include "core/Sha256.h"
#include "http/TransferEngine.h"

namespace tarnfetch {

std::string FirstSegmentHead::Digest() const {
  return Sha256Hex(head_);
}

std::string FetchFirstSegmentDigest(const std::string& url, std::optional<ByteRange> range,
                                    const StreamHeaders& headers, const FetchOptions& options) {
  const std::uint64_t first = range ? range->first : 0;
  FirstSegmentHead head;
  std::string got;
  bool enough = false;
  TransferRequest request;
  request.url = url;
  request.headers = headers.For(url);
  // Asked as the segment is (a server may refuse a range it was not given
  // for the segment), and read only as far as needed.
  request.range = range;
  request.sink = [&](std::uint64_t offset, const char* data, std::size_t size, std::string*) {
    got.resize(static_cast<std::size_t>(offset - first));
    got.append(data, std::min(size, kFirstSegmentBytes - got.size()));
    enough = got.size() == kFirstSegmentBytes;
    return !enough;
  };
  bool given = false;
  TransferEngine engine(1, options);
  try {
    engine.Run([&]() -> std::optional<TransferRequest> {
      if (given) return std::nullopt;
      given = true;
      return request;
    });
  } catch (const FetchError&) {
    if (!enough) throw;
  }
  head.Add(got);
  return head.Digest();
}

}  // namespace tarnfetch
