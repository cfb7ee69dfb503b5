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
    // A retry hands over again from where it restarts (a whole file in
    // answer to a range that does not start at 0 is refused).
    got.resize(static_cast<std::size_t>(offset - first));
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
