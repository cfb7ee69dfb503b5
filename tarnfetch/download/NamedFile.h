#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace tarnfetch {

class MediaDownload;
struct FetchOptions;
struct OutputTarget;

// Downloads one file under the name chosen for `target`: when a complete
// file of `length` is there already, prints the skip marker and fetches
// nothing; else prints the filename marker, lets `fetch` run the download
// with the run's options (it returns the size fetched) and prints the last
// progress line.
void DownloadNamedFile(const OutputTarget& target, std::optional<std::uint64_t> length,
                       const FetchOptions& options,
                       const std::function<std::uint64_t(MediaDownload&)>& fetch);

}  // namespace tarnfetch
