#include "download/SiteExtractorReport.h"

#include <fstream>

namespace quillmarsh {

std::vector<std::string> SiteExtractorReport(const std::string& dataDir) {
  std::ifstream in(dataDir + "site-extractor/report.txt");
  std::vector<std::string> lines;
  for (std::string line; lines.size() < 20 && std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line.substr(0, 500));
  }
  return lines;
}

}  // namespace quillmarsh
