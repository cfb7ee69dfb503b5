#include "download/LeadingBytes.h"

#include <algorithm>

#include "core/FetchError.h"

namespace tarnfetch {

std::string FetchLeadingBytes(TransferRequest request, std::size_t count,
                              const FetchOptions& options, const StopFlag* stop) {
  const std::uint64_t first = request.range ? request.range->first : 0;
  std::string got;
  bool enough = count == 0;
  request.sink = [&](std::uint64_t offset, const char* data, std::size_t size, std::string*) {
    // A server that sends the whole resource instead of the range starts
    // before it: those bytes are passed over.
    if (offset < first) {
      got.clear();
      if (first - offset >= size) return true;
      data += first - offset;
      size -= static_cast<std::size_t>(first - offset);
      offset = first;
    }
    // A retry hands over again from where it restarts.
    got.resize(std::min<std::uint64_t>(got.size(), offset - first));
    got.append(data, std::min(size, count - got.size()));
    enough = got.size() == count;
    return !enough;
  };
  bool given = false;
  TransferEngine engine(1, options);
  engine.SetStopFlag(stop);
  try {
    engine.Run([&]() -> std::optional<TransferRequest> {
      if (given || enough) return std::nullopt;
      given = true;
      return request;
    });
  } catch (const FetchError&) {
    if (!enough) throw;
  }
  return got;
}

}  // namespace tarnfetch
