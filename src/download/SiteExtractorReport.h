#pragma once
// What the downloader's last update of its site extractor found, fetched
// and used, or why it failed, as it left it in the data folder: for the
// report in debug mode.

#include <string>
#include <vector>

namespace quillmarsh {

// The lines of "<dataDir>site-extractor/report.txt" (at most 20, none when
// there is no such file).
std::vector<std::string> SiteExtractorReport(const std::string& dataDir);

}  // namespace quillmarsh
