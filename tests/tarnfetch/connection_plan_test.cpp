// The rules of the adaptive connection count as tables run through the real
// code: the plan's decisions and windows, when a running part is split or
// taken over, the server names counts are kept under and the memory file
// that keeps them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/PartBoard.h"
#include "files/HostMemory.h"
#include "http/ConnectionPlan.h"
#include "http/Url.h"
#include "support/TempDir.h"

namespace tarnfetch {
namespace {

TEST(ConnectionPlanTable, StepsFollowTheMeasuredGain) {
  constexpr double M = 1e6, kRefused = -1;
  // A window's figures (total kRefused: the server refused a connection)
  // and the count afterwards.
  struct Step {
    double total, busy, slowest, fastest;
    int count;
  };
  struct Case {
    const char* what;
    ConnectionPlan plan;
    std::vector<Step> steps;
  };
  const auto bytes = [](int start) {
    return ConnectionPlan::Adaptive(start, ConnectionPlan::Measure::Bytes);
  };
  const std::vector<Case> cases{
      {"held connections double up to 16 while the total follows",
       bytes(4),
       {{32 * M, 4, 0, 0, 8}, {64 * M, 8, 7.5 * M, 8.5 * M, 16}, {128 * M, 16, 0, 0, 16}}},
      {"a step short of the clear gain goes back and stays",
       bytes(4),
       {{32 * M, 4, 0, 0, 8}, {36 * M, 8, 0, 0, 4}, {64 * M, 4, 0, 0, 4}}},
      {"a step just past it stays", bytes(4), {{32 * M, 4, 0, 0, 8}, {37 * M, 8, 0, 0, 16}}},
      {"connections too fast to be held by the server: no step",
       bytes(4),
       {{400 * M, 4, 0, 0, 4}, {400 * M, 4, 90 * M, 110 * M, 4}}},
      {"connections held unevenly: no step",
       bytes(4),
       {{32 * M, 4, 3 * M, 14 * M, 4}, {32 * M, 4, 7 * M, 9 * M, 8}}},
      {"idle slots or nothing received say nothing",
       bytes(4),
       {{32 * M, 3.5, 0, 0, 4}, {0, 4, 0, 0, 4}, {32 * M, 3.7, 0, 0, 8}}},
      {"refusals: one fewer each time, never more again, not below one",
       bytes(2),
       {{16 * M, 2, 0, 0, 4},
        {kRefused, 0, 0, 0, 3},
        {kRefused, 0, 0, 0, 2},
        {16 * M, 2, 0, 0, 2},
        {kRefused, 0, 0, 0, 1},
        {kRefused, 0, 0, 0, 1}}},
      {"a remembered count is where it starts, not where it stops",
       bytes(6),
       {{48 * M, 6, 0, 0, 12}, {96 * M, 12, 0, 0, 16}}},
      {"a fixed count never moves",
       ConnectionPlan::Fixed(4),
       {{32 * M, 4, 0, 0, 4}, {kRefused, 0, 0, 0, 4}}},
      {"segments: no bound on a connection's rate",
       ConnectionPlan::Adaptive(4, ConnectionPlan::Measure::Segments),
       {{70, 4, 0, 0, 8}, {140, 8, 0, 0, 16}}},
  };
  for (const Case& c : cases) {
    ConnectionPlan plan = c.plan;
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const Step& step = c.steps[i];
      const int before = plan.Count();
      if (step.total == kRefused) {
        EXPECT_EQ(plan.Overloaded(), step.count < before) << c.what << ", step " << i;
      } else {
        plan.Measured({step.total, step.busy, step.slowest, step.fastest});
      }
      EXPECT_EQ(plan.Count(), step.count) << c.what << ", step " << i;
    }
  }
}

TEST(ConnectionPlanTable, AWindowLastsTwoRoundTripsWithinItsBounds) {
  using std::chrono::milliseconds;
  const std::vector<std::pair<int, int>> cases{{0, 50}, {20, 50}, {80, 160}, {400, 500}};
  for (const auto& [trip, window] : cases)
    EXPECT_EQ(ConnectionPlan::Window(milliseconds(trip)), milliseconds(window)) << trip;
}

TEST(PartBoardTable, AFreeConnectionSplitsTheRunningPartWithASecondOrMoreLeft) {
  constexpr std::uint64_t MiB = 1 << 20;
  struct Case {
    const char* what;
    std::uint64_t received;  // of the one 16 MiB part
    int afterMs;
    bool split;
  };
  const std::vector<Case> cases{
      {"a second or more left: split", 4 * MiB, 500, true},
      {"under a second left: kept", 12 * MiB, 500, false},
      {"rate not known yet: kept", 4 * MiB, 100, false},
  };
  const auto start = PartBoard::Clock::now();
  for (const Case& c : cases) {
    PartBoard board({}, 16 * MiB, 1);
    PartBoard::Part* part = board.Next(start);
    ASSERT_NE(part, nullptr);
    part->next += c.received;
    PartBoard::Part* half = board.Next(start + std::chrono::milliseconds(c.afterMs));
    ASSERT_EQ(half != nullptr, c.split) << c.what;
    if (half == nullptr) continue;
    const std::uint64_t middle = c.received + (16 * MiB - c.received) / 2;
    EXPECT_EQ(std::make_pair(part->end, half->next), std::make_pair(middle, middle)) << c.what;
    EXPECT_EQ(half->end, 16 * MiB) << c.what;
  }
}

TEST(ServerNameTable, HostAndPortInLowerCase) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"http://Example.COM/a.mp4", "example.com:80"},
      {"https://example.com/a.mp4", "example.com:443"},
      {"https://user:pw@cdn.example.com:8443/x?y", "cdn.example.com:8443"},
      {"not an address", ""},
  };
  for (const auto& [url, name] : cases) EXPECT_EQ(ServerName(url), name) << url;
}

TEST(HostMemoryTable, ReadsOnlyWholeWellFormedFilesAndKeepsADay) {
  const std::string header = "tarnfetch-connections 1\n", line = "files a:443 6 1000\n";
  std::string full = header;
  for (std::size_t i = 0; i <= HostMemory::kMaxEntries; ++i) full += line;
  const std::vector<std::pair<std::string, std::size_t>> cases{
      {header + line + "segments b:80 12 2000\n", 2},
      {"tarnfetch-connections 2\n" + line, 0},
      {header + "files a:443 6 1000", 0},
      {header + "files a:443 65 1000\n", 0},
      {header + "files a:443 6\n", 0},
      {header + "files a\t:443 6 1000\n", 0},
      {full, 0},  // more entries than it may hold
  };
  for (const auto& [text, entries] : cases) {
    EXPECT_EQ(ReadHostMemory(text).size(), entries) << text.substr(0, 100);
  }

  quillmarsh::TempDir dir;
  const HostMemory memory(dir.file("tarnfetch/connections"));
  memory.Remember("files", "a:80", 6, 1000);
  memory.Remember("segments", "a:80", 12, 1000);
  memory.Remember("files", "a:80", 8, 1010);  // replaces the first
  EXPECT_EQ(memory.Recall("files", "a:80", 1010), 8);
  EXPECT_EQ(memory.Recall("segments", "a:80", 1000 + HostMemory::kKeepSeconds - 1), 12);
  EXPECT_EQ(memory.Recall("segments", "a:80", 1000 + HostMemory::kKeepSeconds), std::nullopt);
  EXPECT_EQ(memory.Recall("files", "a:80", 1000), std::nullopt) << "from the future";
  // The oldest entries make room.
  for (std::size_t i = 0; i < 2 * HostMemory::kMaxEntries; ++i) {
    memory.Remember("files", std::to_string(i) + ":80", 2, 1020);
  }
  EXPECT_EQ(ReadHostMemory(quillmarsh::ReadFile(dir.file("tarnfetch/connections"))).size(),
            HostMemory::kMaxEntries);
}

TEST(PartBoardTable, APartFarSlowerThanTheMedianForTheWholeCheckIsTakenOverWhole) {
  constexpr std::uint64_t KiB = 1 << 10, MiB = 1 << 20;
  struct Case {
    const char* what;
    std::uint64_t received;  // by the last of four 1 MiB parts; the others took 0.5 s
    int afterMs;             // the check lasts a second
    bool takenOver;
  };
  const std::vector<Case> cases{
      {"a twentieth of the median: taken over", 100 * KiB, 1000, true},
      {"not a byte: taken over", 0, 1000, true},
      {"over a tenth of the median: kept", 300 * KiB, 1000, false},
      {"slow for less than the whole check: kept", 100 * KiB, 900, false},
  };
  const auto start = PartBoard::Clock::now();
  for (const Case& c : cases) {
    PartBoard board({}, 4 * MiB, 4, std::chrono::seconds(1));
    std::vector<PartBoard::Part*> parts;
    for (int i = 0; i < 4; ++i) parts.push_back(board.Next(start));
    for (int i = 0; i < 3; ++i) {
      parts[i]->next = parts[i]->end;
      board.Finish(*parts[i], start + std::chrono::milliseconds(500));
    }
    PartBoard::Part* slow = parts[3];
    slow->next += c.received;
    PartBoard::Part* rest = board.Next(start + std::chrono::milliseconds(c.afterMs));
    ASSERT_EQ(rest != nullptr, c.takenOver) << c.what;
    if (rest == nullptr) continue;
    EXPECT_EQ(std::make_pair(slow->end, rest->next), std::make_pair(slow->next, slow->next));
    EXPECT_EQ(rest->end, 4 * MiB) << c.what;
  }
}

}  // namespace
}  // namespace tarnfetch
