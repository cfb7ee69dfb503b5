#pragma once
// The real tarnfetch binary run as Quillmarsh runs it: with a data and a
// cache folder of the tests' own, no proxy, and the loopback server reached
// directly.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/ProgramRun.h"

namespace tarnfetch_test {

using namespace quillmarsh;
namespace fs = std::filesystem;

inline const std::string kTarnfetch = QM_APP_DIR "/tarnfetch";

RunResult RunTarnfetch(const std::vector<std::string>& args);

// Runs tarnfetch on url into folder/out under time(1), which forks its own
// child, so that the peak it reports is tarnfetch's alone; *peakKb gets it.
RunResult RunTarnfetchMeasured(const std::string& url, const fs::path& folder, long* peakKb);

// Starts tarnfetch with args and kills it and what it started (SIGKILL)
// once `ready` holds (at most 20 s). False when it ended first or never got
// there.
bool KillTarnfetchWhen(const std::vector<std::string>& args, const std::function<bool()>& ready);

// The finished ranges a control file records (0 when there is none).
std::uint64_t RecordedBytes(const fs::path& control);
// True once a stream's control file records `count` segments written.
bool RecordsSegments(const fs::path& control, std::size_t count);

std::string RandomBytes(std::size_t size, unsigned seed);

}  // namespace tarnfetch_test
