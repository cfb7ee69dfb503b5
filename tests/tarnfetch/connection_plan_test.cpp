// The rules of the adaptive connection count as tables run through the real
// code: the plan's decisions from measured windows and refusals, how a
// file's parts are cut and split, the server names counts are kept under,
// and the memory file that keeps them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "download/PartBoard.h"
#include "files/HostMemory.h"
#include "http/ConnectionPlan.h"
#include "http/ServerName.h"
#include "support/TempDir.h"

namespace tarnfetch {
namespace {

using Sample = ConnectionPlan::Sample;

TEST(ConnectionPlanTable, StepsFollowTheMeasuredGain) {
  // A step: a window's figures, or (overload) the server refusing one.
  struct Step {
    bool overload;
    Sample sample;
    int count;           // the plan's count afterwards
    bool fewer = false;  // overload: Overloaded() said the count went down
  };
  struct Case {
    const char* what;
    ConnectionPlan plan;
    std::vector<Step> steps;
  };
  constexpr double M = 1e6;
  const auto window = [](double total, double busy, double slowest = 0, double fastest = 0) {
    return Sample{total, busy, slowest, fastest};
  };
  const Sample none{};
  const auto Bytes = ConnectionPlan::Measure::Bytes;
  const std::vector<Case> cases{
      {"paced connections double up to 16 while the total follows",
       ConnectionPlan::Adaptive(4, Bytes),
       {{false, window(32 * M, 4), 8},
        {false, window(64 * M, 8, 7.5 * M, 8.5 * M), 16},
        {false, window(128 * M, 16), 16}}},
      {"a step short of the clear gain goes back and stays",
       ConnectionPlan::Adaptive(4, Bytes),
       {{false, window(32 * M, 4), 8},
        {false, window(36 * M, 8), 4},
        {false, window(64 * M, 4), 4}}},
      {"a step just past the clear gain stays",
       ConnectionPlan::Adaptive(4, Bytes),
       {{false, window(32 * M, 4), 8}, {false, window(37 * M, 8), 16}}},
      {"connections too fast to be held by the server: no step",
       ConnectionPlan::Adaptive(4, Bytes),
       {{false, window(400 * M, 4), 4}, {false, window(400 * M, 4, 90 * M, 110 * M), 4}}},
      {"connections held unevenly: no step",
       ConnectionPlan::Adaptive(4, Bytes),
       {{false, window(32 * M, 4, 3 * M, 14 * M), 4}, {false, window(32 * M, 4, 7 * M, 9 * M), 8}}},
      {"idle slots or nothing received say nothing",
       ConnectionPlan::Adaptive(4, Bytes),
       {{false, window(32 * M, 3.5), 4},
        {false, window(0, 4), 4},
        {false, window(32 * M, 3.7), 8}}},
      {"a refusal: one fewer each time, never more again",
       ConnectionPlan::Adaptive(4, Bytes),
       {{false, window(32 * M, 4), 8},
        {true, none, 7, true},
        {true, none, 6, true},
        {false, window(48 * M, 6), 6}}},
      {"refusals end at one",
       ConnectionPlan::Adaptive(2, Bytes),
       {{true, none, 1, true}, {true, none, 1, false}}},
      {"a fixed count never moves",
       ConnectionPlan::Fixed(4),
       {{false, window(32 * M, 4), 4}, {true, none, 4, false}}},
      {"segments: no bound on a connection's bytes",
       ConnectionPlan::Adaptive(4, ConnectionPlan::Measure::Segments),
       {{false, window(70, 4), 8}, {false, window(140, 8), 16}}},
      {"a remembered count beyond 16 starts at 16",
       ConnectionPlan::Adaptive(40, Bytes),
       {{false, window(128 * M, 16), 16}}},
  };
  for (const Case& c : cases) {
    ConnectionPlan plan = c.plan;
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const Step& step = c.steps[i];
      if (step.overload) {
        EXPECT_EQ(plan.Overloaded(), step.fewer) << c.what << ", step " << i;
      } else {
        plan.Measured(step.sample);
      }
      EXPECT_EQ(plan.Count(), step.count) << c.what << ", step " << i;
    }
  }
}

TEST(PartBoardTable, CutsWhatIsMissingAndSplitsTheLongestRunningPart) {
  using Clock = PartBoard::Clock;
  using Spans = std::vector<PartBoard::Span>;
  constexpr std::uint64_t MiB = 1 << 20;
  struct Case {
    const char* what;
    Spans done;
    std::uint64_t length;
    std::uint64_t count;
    Spans parts;  // as handed out first
  };
  const std::vector<Case> cases{
      {"even parts",
       {},
       8 * MiB,
       4,
       {{0, 2 * MiB}, {2 * MiB, 4 * MiB}, {4 * MiB, 6 * MiB}, {6 * MiB, 8 * MiB}}},
      {"never below 1 MiB", {}, 3 * MiB, 32, {{0, MiB}, {MiB, 2 * MiB}, {2 * MiB, 3 * MiB}}},
      {"only the gaps",
       {{0, MiB}, {2 * MiB, 3 * MiB}},
       4 * MiB,
       2,
       {{MiB, 2 * MiB}, {3 * MiB, 4 * MiB}}},
      {"nothing missing", {{0, 4 * MiB}}, 4 * MiB, 2, {}},
  };
  const auto start = Clock::now();
  for (const Case& c : cases) {
    PartBoard board(c.done, c.length, c.count);
    Spans got;
    while (PartBoard::Part* part = board.Next(start)) got.push_back({part->next, part->end});
    EXPECT_EQ(got, c.parts) << c.what;
  }

  // Once every part has started, a free connection takes the second half
  // of the part with the most time left, only when that is a second or more.
  struct Split {
    const char* what;
    std::uint64_t received;  // of the one 16 MiB part
    int afterMs;
    bool split;
  };
  const std::vector<Split> splits{
      {"a second or more left: split", 4 * MiB, 500, true},
      {"under a second left: kept", 12 * MiB, 500, false},
      {"rate not known yet: kept", 4 * MiB, 100, false},
      {"nothing received yet: kept", 0, 500, false},
  };
  for (const Split& c : splits) {
    PartBoard board({}, 16 * MiB, 1);
    PartBoard::Part* part = board.Next(start);
    ASSERT_NE(part, nullptr);
    part->next += c.received;
    PartBoard::Part* half = board.Next(start + std::chrono::milliseconds(c.afterMs));
    EXPECT_EQ(half != nullptr, c.split) << c.what;
    if (half == nullptr) continue;
    EXPECT_EQ(part->end, half->next) << c.what;
    EXPECT_EQ(half->next, c.received + (16 * MiB - c.received) / 2) << c.what;
    EXPECT_EQ(half->end, 16 * MiB) << c.what;
  }
}

TEST(ServerNameTable, HostAndPortInLowerCase) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"http://Example.COM/a.mp4", "example.com:80"},
      {"https://example.com/a.mp4", "example.com:443"},
      {"https://user:pw@cdn.example.com:8443/x?y", "cdn.example.com:8443"},
      {"http://127.0.0.1:5000/", "127.0.0.1:5000"},
      {"not an address", ""},
  };
  for (const auto& [url, name] : cases) EXPECT_EQ(ServerName(url), name) << url;
}

TEST(HostMemoryTable, ReadsOnlyWholeWellFormedFiles) {
  const std::string header = "tarnfetch-connections 1\n";
  const std::string line = "files a.example:443 6 1000\n";
  std::string full = header;
  for (std::size_t i = 0; i <= HostMemory::kMaxEntries; ++i) full += line;
  const std::vector<std::pair<std::string, std::size_t>> cases{
      {header + line + "segments b:80 12 2000\n", 2},
      {header, 0},
      {"", 0},
      {"tarnfetch-connections 2\n" + line, 0},
      {header + "files a.example:443 6 1000", 0},      // cut off
      {header + "files a.example:443 0 1000\n", 0},    // no connections
      {header + "files a.example:443 65 1000\n", 0},   // too many
      {header + "files a.example:443 6\n", 0},         // a field missing
      {header + "files a.example:443 6 1000 x\n", 0},  // one too many
      {header + "files  a.example:443 6 1000\n", 0},   // empty field
      {header + "files a.exa\tmple:443 6 1000\n", 0},  // control character
      {header + "files a.example:443 six 1000\n", 0},
      {header + "files a.example:443 6 -1\n", 0},
      {full, 0},  // more entries than it may hold
  };
  for (const auto& [text, entries] : cases) {
    EXPECT_EQ(ReadHostMemory(text).size(), entries) << text.substr(0, 200);
  }
}

TEST(HostMemoryTable, RemembersForADayAndIgnoresWhatItCannotUse) {
  quillmarsh::TempDir dir;
  const std::filesystem::path file = dir.file("cache/tarnfetch/connections");
  const HostMemory memory(file);
  const std::int64_t now = 1'000'000;
  EXPECT_EQ(memory.Recall("files", "a:80", now), std::nullopt) << "no file yet";
  memory.Remember("files", "a:80", 6, now);
  memory.Remember("segments", "a:80", 12, now);
  memory.Remember("files", "b:80", 3, now);
  memory.Remember("files", "a:80", 8, now + 10);  // replaces the first
  EXPECT_EQ(memory.Recall("files", "a:80", now + 10), 8);
  EXPECT_EQ(memory.Recall("segments", "a:80", now + 10), 12);
  EXPECT_EQ(memory.Recall("files", "a:443", now + 10), std::nullopt);
  EXPECT_EQ(memory.Recall("files", "b:80", now + HostMemory::kKeepSeconds), std::nullopt)
      << "a day old";
  EXPECT_EQ(memory.Recall("files", "b:80", now - 1), std::nullopt) << "from the future";
  EXPECT_EQ(ReadHostMemory(quillmarsh::ReadFile(file)).size(), 3u);

  // Bounded: the oldest entries make room.
  for (std::size_t i = 0; i < 2 * HostMemory::kMaxEntries; ++i) {
    memory.Remember("files", "host" + std::to_string(i) + ":80", 2, now + 20);
  }
  EXPECT_EQ(ReadHostMemory(quillmarsh::ReadFile(file)).size(), HostMemory::kMaxEntries);
  EXPECT_LE(std::filesystem::file_size(file), HostMemory::kMaxBytes);

  // Damaged or too large: ignored, and replaced by the next save.
  for (const std::string& bad : {std::string("garbage\n"), std::string(1 << 20, 'x')}) {
    quillmarsh::WriteFile(file, bad);
    EXPECT_EQ(memory.Recall("files", "a:80", now + 30), std::nullopt);
    memory.Remember("files", "a:80", 5, now + 30);
    EXPECT_EQ(memory.Recall("files", "a:80", now + 30), 5);
  }

  // Neither readable nor writable (a folder in its place): nothing, no throw.
  const HostMemory blocked(dir.file("blocked"));
  std::filesystem::create_directories(dir.file("blocked"));
  blocked.Remember("files", "a:80", 5, now);
  EXPECT_EQ(blocked.Recall("files", "a:80", now), std::nullopt);
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("blocked")));
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir.file("cache/tarnfetch"))) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(left, std::vector<std::string>{"connections"}) << "no temporary stays behind";
  left.clear();
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"blocked", "cache"}));
}

}  // namespace
}  // namespace tarnfetch
