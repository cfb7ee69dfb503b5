#pragma once

#include "core/FetchOptions.h"

namespace tarnfetch {

// One run of the downloader: find the media behind the options' address,
// name the file, then skip it or download it, printing the markers on the
// way. Throws FetchError when it cannot be done.
void RunFetchJob(const FetchOptions& options);

}  // namespace tarnfetch
