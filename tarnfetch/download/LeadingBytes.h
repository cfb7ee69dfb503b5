#pragma once

#include <cstddef>
#include <string>

#include "http/TransferEngine.h"

namespace tarnfetch {

class StopFlag;

// The first `count` bytes the server sends for request from its range's
// first byte (or the resource's), fewer where the resource ends sooner:
// the transfer stops as soon as they are there. request.sink is replaced.
// Throws FetchError when they cannot be fetched (request.onAnswer, if set,
// hears why).
std::string FetchLeadingBytes(TransferRequest request, std::size_t count,
                              const FetchOptions& options, const StopFlag* stop = nullptr);

}  // namespace tarnfetch
