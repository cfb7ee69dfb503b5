#include "download/FirstSegment.h"

#include "core/Sha256.h"
#include "download/LeadingBytes.h"

namespace tarnfetch {

std::string FirstSegmentHead::Digest() const {
  return Sha256Hex(head_);
}

std::string FetchFirstSegmentDigest(const std::string& url, std::optional<ByteRange> range,
                                    const StreamHeaders& headers, const FetchOptions& options) {
  TransferRequest request;
  request.url = url;
  request.headers = headers.For(url);
  // Asked as the segment is (a server may refuse a range it was not given
  // for the segment), and read only as far as needed.
  request.range = range;
  FirstSegmentHead head;
  head.Add(FetchLeadingBytes(std::move(request), kFirstSegmentBytes, options));
  return head.Digest();
}

}  // namespace tarnfetch
