#include "extractor/ExtractorChoice.h"

#include <unistd.h>

#include "core/ChildProgram.h"
#include "extractor/ExtractorVersion.h"
#include "extractor/SiteExtractor.h"

namespace tarnfetch {
namespace {}  // namespace

const std::string& ExtractorProgram::Version() {
  if (version.empty()) version = AskExtractorVersion(command);
  return version;
}

std::string ExtractorProgram::Describe() {
  const std::string& known = Version();
  return "yt-dlp " + (known.empty() ? std::string("of unknown version") : known) + " (" + path +
         ")";
}

std::optional<ExtractorProgram> ChooseExtractor(const ExtractorHome& home) {
  ExtractorProgram program;
  const std::string python = FindHelperProgram("python3");
  if (!python.empty() && home.HasPrivateCopy()) {
    program.path = home.PrivateCopy();
    program.command = {python, program.path};
    program.version = home.InstalledVersion();
    // Only the private copy's version is known without running it.
    if (!FindHelperProgram("node").empty() && KnowsJsRuntimes(program.version)) {
      program.command.insert(program.command.end(), {"--js-runtimes", "node"});
    }
  } else {
    program.path = FindSiteExtractor();
    if (program.path.empty()) return std::nullopt;
    program.command = {program.path};
  }
  return program;
}

}  // namespace tarnfetch
