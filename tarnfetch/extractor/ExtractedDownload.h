#pragma once

#include <string>

#include "core/FetchOptions.h"
#include "extractor/ExtractorAnswer.h"

namespace tarnfetch {

// Downloads what the site extractor chose, with the headers it gave, into
// one file named from its title by the output template, printing the
// title, filename or skip marker and the progress: a single address as a
// direct video (MediaDownload, up to `connections` at once), an HLS stream
// through the stream path, a separate picture and sound fetched at once
// and then joined by ffmpeg into one MP4 (MKV when the codecs do not fit
// MP4), with one progress line across both: two direct videos each on a
// thread of its own, whose pieces stay for the next run until joined, or
// two streams through the stream path. A stream and a file cannot be
// joined. Throws FetchError, the first failure's once both have stopped.
void DownloadExtracted(const ExtractorAnswer& answer, const FetchOptions& options);

}  // namespace tarnfetch
