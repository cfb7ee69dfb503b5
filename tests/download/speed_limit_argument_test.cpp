// The settings file's SpeedLimit reaches the downloader as --limit-rate in
// bytes a second, and only when it is a speed.
#include <gtest/gtest.h>

#include "download/DownloadScheduler.h"
#include "support/TestHost.h"

namespace quillmarsh {
namespace {

TEST(SpeedLimitArgument, OnlyASpeedBecomesALimit) {
  struct Row {
    const char* setting;
    const char* limit;  // nullptr: no --limit-rate
  };
  const std::vector<Row> rows{
      {"", nullptr},        {"0", nullptr},      {"fast", nullptr}, {"2M", "2097152"},
      {" 500k ", "512000"}, {"1.5M", "1572864"}, {"4096", "4096"},  {"-1M", nullptr},
  };
  TestHost host;
  host.programDir = "/p/";
  host.outputDir = "/o/";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.setting);
    host.speedLimit = row.setting;
    std::vector<std::string> expected{"/p/tarnfetch", "http://v/a", "-p", "/o/%(title)s.%(ext)s"};
    std::string line = "tarnfetch http://v/a -p \"/o/%(title)s.%(ext)s\"";
    if (row.limit != nullptr) {
      expected.insert(expected.end(), {"--limit-rate", row.limit});
      line += std::string(" --limit-rate ") + row.limit;
    }
    EXPECT_EQ(DownloaderArguments(host, "http://v/a"), expected);
    EXPECT_EQ(DownloaderCommandLine(host, "http://v/a"), line);
  }
}

}  // namespace
}  // namespace quillmarsh
