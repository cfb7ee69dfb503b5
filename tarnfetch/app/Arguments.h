#pragma once

#include <string>

namespace tarnfetch {

// The command line: "tarnfetch URL [-p TEMPLATE] [--connections N]
// [--cookies FILE | --cookies-from-browser BROWSER[:PROFILE]]". The first argument is
// always the address, whatever it holds, so an address beginning with "-"
// can never pass for an option. "--help", "--version" and
// "--update-extractor" (the site extractor's daily check) count only alone.
struct Arguments {
  enum class Action { Download, Help, Version, UpdateExtractor, Invalid };
  Action action = Action::Invalid;
  std::string url;
  std::string pathTemplate = "%(title)s.%(ext)s";
  // Per file, for large files from servers that send parts; 0: adapts to
  // the server.
  int connections = 0;
  // The user's cookies: a Netscape cookie file, or "BROWSER[:PROFILE]".
  std::string cookieFile;
  std::string cookiesFromBrowser;
  std::string problem;  // for Action::Invalid
};

Arguments ParseArguments(int argc, const char* const* argv);

// The text --help prints.
std::string HelpText();

}  // namespace tarnfetch
