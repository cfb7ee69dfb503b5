#pragma once

#include <string>

#include "core/FetchOptions.h"

namespace tarnfetch {

// The command line: "tarnfetch URL [-p TEMPLATE] [--connections N]
// [--limit-rate RATE] [--proxy URL]". The first argument is always the
// address, whatever it holds, so an address beginning with "-" can never
// pass for an option. "--help", "--version" and "--update-extractor" (the
// site extractor's daily check, which takes "--proxy URL" after it) count
// only alone.
struct Arguments {
  enum class Action { Download, Help, Version, UpdateExtractor, Invalid };
  Action action = Action::Invalid;
  FetchOptions options;
  std::string problem;  // for Action::Invalid
};

Arguments ParseArguments(int argc, const char* const* argv);

// The text --help prints.
std::string HelpText();

}  // namespace tarnfetch
