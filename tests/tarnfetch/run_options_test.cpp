// The run options as the command line gives them: speeds as curl and
// yt-dlp write them, and proxies as libcurl takes them.
#include <gtest/gtest.h>

#include "app/Arguments.h"
#include "shared/ByteRate.h"

namespace {

TEST(ByteRateTable, SpeedsAsCurlWritesThem) {
  struct Row {
    const char* text;
    std::optional<std::uint64_t> bytes;
  };
  const std::vector<Row> rows{
      {"2M", 2u << 20},      {"2m", 2u << 20},
      {"500K", 500u << 10},  {"500k", 500u << 10},
      {"1G", 1u << 30},      {"1.5M", 3u << 19},
      {"123", 123},          {"0", 0},
      {"0.5K", 512},         {"", std::nullopt},
      {"M", std::nullopt},   {"-1M", std::nullopt},
      {"2 M", std::nullopt}, {"2MB", std::nullopt},
      {"1e3", std::nullopt}, {".5M", std::nullopt},
      {"5.M", std::nullopt}, {"99999999999G", std::nullopt},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(quillmarsh::ParseByteRate(row.text), row.bytes) << row.text;
  }
}

TEST(RunOptionsTable, LimitAndProxyFromTheCommandLine) {
  struct Row {
    std::vector<const char*> args;  // after the program's name
    std::uint64_t limit;
    const char* proxy;
    bool valid;
  };
  const std::vector<Row> rows{
      {{"http://a/v.mp4", "--limit-rate", "2M"}, 2u << 20, "", true},
      {{"http://a/v.mp4", "--limit-rate", "0"}, 0, "", true},
      {{"http://a/v.mp4", "--limit-rate", "fast"}, 0, "", false},
      {{"http://a/v.mp4", "--limit-rate"}, 0, "", false},
      {{"http://a/v.mp4", "--proxy", "socks5h://127.0.0.1:1080"},
       0,
       "socks5h://127.0.0.1:1080",
       true},
      {{"http://a/v.mp4", "--proxy", "HTTP://u:p@proxy:3128"}, 0, "HTTP://u:p@proxy:3128", true},
      {{"http://a/v.mp4", "--proxy", "ftp://proxy:21"}, 0, "", false},
      {{"http://a/v.mp4", "--proxy", "http://"}, 0, "", false},
      {{"http://a/v.mp4", "--proxy", "http://a b"}, 0, "", false},
      {{"--update-extractor", "--proxy", "https://proxy:443"}, 0, "https://proxy:443", true},
  };
  for (const Row& row : rows) {
    std::vector<const char*> argv{"tarnfetch"};
    argv.insert(argv.end(), row.args.begin(), row.args.end());
    const auto args = tarnfetch::ParseArguments(static_cast<int>(argv.size()), argv.data());
    SCOPED_TRACE(row.args.back());
    EXPECT_EQ(args.action != tarnfetch::Arguments::Action::Invalid, row.valid) << args.problem;
    if (!row.valid) continue;
    EXPECT_EQ(args.options.LimitRate(), row.limit);
    EXPECT_EQ(args.options.proxy, row.proxy);
  }
}

}  // namespace
