#pragma once

#include <optional>
#include <string>
#include <vector>

#include "extractor/ExtractorHome.h"

namespace tarnfetch {

// The site extractor a run asks.
struct ExtractorProgram {
  std::vector<std::string> command;  // with python3 and options when it needs them
  std::string path;
  std::string version;  // empty until known

  // "yt-dlp 2026.11.30 (/path)", the version asked for when not known.
  std::string Describe();
  // The version, asked for once.
  const std::string& Version();
};

// tarnfetch's private copy first (run with python3), then a yt-dlp beside
// tarnfetch, then the system's on PATH; nullopt when there is none. When
// Debian's nodejs is installed and the private copy's release knows the
// option, it may run the sites' JavaScript with it (--js-runtimes node).
std::optional<ExtractorProgram> ChooseExtractor(const ExtractorHome& home);

}  // namespace tarnfetch
