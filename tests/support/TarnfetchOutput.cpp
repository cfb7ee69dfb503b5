#include "support/TarnfetchOutput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace tarnfetch_test {
namespace {

std::string Lower(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

void ExpectWellFormedOutput(const RunResult& run) {
  static const std::regex marker(
      R"(<Go>|<title>[^<]*</title>|<filename>[^<]*</filename>|<skip>[^<]*</skip>|)"
      R"(<speed> (\d+\.\d)% of (\S+) at (\S+) ETA (\S+)</speed>|ERROR: .+|)"
      R"(<connections>\d+</connections>)");
  static const std::regex tagValue(R"(<(title|filename|skip)>[^<]*</\1>)");
  for (const auto& line : run.lines) {
    std::smatch parts;
    EXPECT_TRUE(std::regex_match(line, parts, marker)) << "stray line: " << line;
    for (std::size_t i = 2; i <= 4 && parts.size() > 4 && parts[i].matched; ++i) {
      for (const char* word : {"of", "at", "ETA", "%"}) {
        EXPECT_EQ(parts[i].str().find(word), std::string::npos) << line;
      }
    }
    if (line.rfind("ERROR: ", 0) == 0) continue;
    const std::string rest = Lower(std::regex_replace(line, tagValue, ""));
    EXPECT_EQ(rest.find("error"), std::string::npos) << line;
    EXPECT_EQ(rest.find("traceback"), std::string::npos) << line;
  }
}

void ExpectSuccess(const RunResult& run) {
  EXPECT_EQ(run.exitCode, 0) << run.Text();
  ExpectWellFormedOutput(run);
}

void ExpectFailure(const RunResult& run, const fs::path& folder, const std::string& words) {
  EXPECT_NE(run.exitCode, 0) << run.Text();
  EXPECT_NE(run.exitCode, -1) << "did not end in time";
  const auto errors = run.Starting("ERROR: ");
  EXPECT_EQ(errors.size(), 1u) << run.Text();
  if (!errors.empty()) {
    EXPECT_NE(errors[0].find(words), std::string::npos) << run.Text();
  }
  EXPECT_EQ(run.Text().find("100.0%"), std::string::npos) << run.Text();
  ExpectWellFormedOutput(run);
  for (const auto& name : FilesBelow(folder)) {
    EXPECT_TRUE(EndsWith(name, ".part") || EndsWith(name, ".part.ctl")) << name;
  }
}

void ExpectCompleteOnce(const RunResult& run) {
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.back().rfind("<speed> 100.0% of ", 0), 0u) << run.Text();
  EXPECT_EQ(run.Text().find("100.0%"), run.Text().rfind("100.0%")) << "100 % only once";
}

std::string TagValue(const RunResult& run, const std::string& tag) {
  const auto lines = run.Starting("<" + tag + ">");
  if (lines.size() != 1) return {};
  const std::string& line = lines[0];
  const std::size_t open = tag.size() + 2;
  const std::size_t close = line.rfind("</" + tag + ">");
  return close == std::string::npos || close < open ? "" : line.substr(open, close - open);
}

std::vector<std::string> FilesBelow(const fs::path& root) {
  std::vector<std::string> files;
  std::error_code missing;
  for (auto entry = fs::recursive_directory_iterator(root, missing);
       entry != fs::recursive_directory_iterator(); ++entry) {
    if (!entry->is_directory()) files.push_back(entry->path().lexically_relative(root).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace tarnfetch_test
