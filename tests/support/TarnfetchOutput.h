#pragma once
// Checks on what tarnfetch printed and left in its folder, by the rules
// Quillmarsh relies on.

#include <filesystem>
#include <string>
#include <vector>

#include "shared/ProgramVocabulary.h"
#include "support/ProgramRun.h"

namespace tarnfetch_test {

using namespace quillmarsh;
namespace fs = std::filesystem;

// One marker a line, progress figures that hold none of its cut words, and
// "error"/"Traceback" only on ERROR lines (outside the values of the title,
// filename and skip tags).
void ExpectWellFormedOutput(const RunResult& run);

// A finished run: status 0 and well-formed lines.
void ExpectSuccess(const RunResult& run);

// A failed run: exactly one ERROR line (holding `words`), a non-zero
// status, and nothing in the folder under a final name (an unfinished
// ".part" and its control file may stay).
void ExpectFailure(const RunResult& run, const fs::path& folder, const std::string& words = "");

// The one progress line at 100 %, the last line.
void ExpectCompleteOnce(const RunResult& run);

// The value of the one line tagged so, empty if none.
std::string TagValue(const RunResult& run, const MarkerTag& tag);

// Every file below root, relative to it; none when it does not exist.
std::vector<std::string> FilesBelow(const fs::path& root);

bool EndsWith(const std::string& text, const std::string& end);

}  // namespace tarnfetch_test
