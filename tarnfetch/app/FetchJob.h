#pragma once

#include <string>

namespace tarnfetch {

// One run of the downloader: find the media behind the address, name the
// file, then skip it or download it, printing the markers on the way.
// connections: at most this many at once for one large file. Throws
// FetchError when it cannot be done.
void RunFetchJob(const std::string& url, const std::string& pathTemplate, int connections = 4);

}  // namespace tarnfetch
