#pragma once
// Replays a fuzz target's seeds (fuzz/corpus/<target>) and every input that
// once broke it (fuzz/regressions/<target>) through the target's harness, so
// that a fixed fault stays fixed without running the fuzzer. A broken
// invariant becomes a test failure that names the input.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "../../fuzz/harness/FuzzCheck.h"

namespace fuzz {

inline std::string& ReplayedInput() {
  static std::string path;
  return path;
}

inline void ReportReplayFailure(const char* condition, const char* file, int line) {
  ADD_FAILURE_AT(file, line) << condition << "\n  input: " << ReplayedInput();
}

inline void Replay(const std::string& target, void (*run)(std::string_view)) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  for (const char* kind : {"corpus", "regressions"}) {
    const fs::path dir = fs::path(QM_SOURCE_DIR) / "fuzz" / kind / target;
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir))
      if (entry.is_regular_file()) inputs.push_back(entry.path());
  }
  std::sort(inputs.begin(), inputs.end());
  ASSERT_FALSE(inputs.empty()) << "no inputs for " << target;
  OnFailure() = ReportReplayFailure;
  for (const fs::path& path : inputs) {
    ReplayedInput() = path.string();
    std::ifstream in(path, std::ios::binary);
    run(std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
  }
  OnFailure() = AbortOnFailure;
}

}  // namespace fuzz
