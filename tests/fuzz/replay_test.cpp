// Replays the fuzz targets' seeds and every input that once broke one of
// them through the same harnesses and invariant checks, so that a fixed
// fault stays fixed without running the fuzzer.
#include <gtest/gtest.h>

#include <string>

#include "../../fuzz/harness/ConvertChunkHarness.h"
#include "../../fuzz/harness/DownloadChunkHarness.h"
#include "../../fuzz/harness/IniLoadHarness.h"
#include "../../fuzz/harness/TimeToSecondsHarness.h"
#include "support/FuzzReplay.h"
#include "support/QtTestApp.h"

namespace quillmarsh {

namespace {

using fuzz::Replay;

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
