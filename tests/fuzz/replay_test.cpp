// Replays the fuzz targets' seeds and every input that once broke one of
// them through the same harnesses and invariant checks, so that a fixed
// fault stays fixed without running the fuzzer.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../../fuzz/harness/ConvertChunkHarness.h"
#include "../../fuzz/harness/DownloadChunkHarness.h"
#include "../../fuzz/harness/IniLoadHarness.h"
#include "../../fuzz/harness/TimeToSecondsHarness.h"
#include "support/QtTestApp.h"

namespace quillmarsh {

namespace {

namespace fs = std::filesystem;

std::string gInput;  // the input being replayed, for failure messages

void ReportFailure(const char* condition, const char* file, int line) {
  ADD_FAILURE_AT(file, line) << condition << "\n  input: " << gInput;
}

std::vector<fs::path> InputsOf(const std::string& target) {
  std::vector<fs::path> inputs;
  for (const char* kind : {"corpus", "regressions"}) {
    const fs::path dir = fs::path(QM_SOURCE_DIR) / "fuzz" / kind / target;
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir))
      if (entry.is_regular_file()) inputs.push_back(entry.path());
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Replay(const std::string& target, void (*run)(std::string_view)) {
  fuzz::OnFailure() = ReportFailure;
  const auto inputs = InputsOf(target);
  ASSERT_FALSE(inputs.empty()) << "no inputs for " << target;
  for (const fs::path& path : inputs) {
    gInput = path.string();
    run(ReadAll(path));
  }
  fuzz::OnFailure() = fuzz::AbortOnFailure;
}

TEST(FuzzReplay, DownloaderOutput) {
  EnsureQtApp();
  Replay("download_chunk", fuzz::RunDownloadChunks);
}

TEST(FuzzReplay, FfmpegOutput) {
  EnsureQtApp();
  Replay("convert_chunk", fuzz::RunConvertChunks);
}

TEST(FuzzReplay, TimeTexts) {
  Replay("time_to_seconds", fuzz::RunTimeToSeconds);
}

TEST(FuzzReplay, SettingsFile) {
  Replay("ini_load", fuzz::RunIniLoad);
}

// The checks themselves catch a broken invariant.
TEST(FuzzReplay, BrokenInvariantIsReported) {
  int failures = 0;
  static int* counter = nullptr;
  counter = &failures;
  fuzz::OnFailure() = [](const char*, const char*, int) { ++*counter; };
  FUZZ_CHECK(fuzz::IsTrimmed(" x"));
  FUZZ_CHECK(fuzz::IsTrimmed("x"));
  fuzz::OnFailure() = fuzz::AbortOnFailure;
  EXPECT_EQ(failures, 1);
}

}  // namespace

}  // namespace quillmarsh
