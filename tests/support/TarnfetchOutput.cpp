#include "support/TarnfetchOutput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "shared/ProgramVocabulary.h"
#include "shared/Text.h"

namespace tarnfetch_test {
namespace {

// A tag around a value, as a pattern.
std::string Tagged(const MarkerTag& tag, const std::string& value) {
  return std::string(tag.open) + value + std::string(tag.close);
}

}  // namespace

void ExpectWellFormedOutput(const RunResult& run) {
  static const std::string text = "[^<]*";
  static const std::string values =
      Tagged(Marker::Title, text) + "|" + Tagged(Marker::FileName, text) + "|" +
      Tagged(Marker::Skip, text) + "|" + Tagged(Marker::ListEntry, text);
  static const std::regex marker(
      std::string(Marker::Go) + "|" + values + "|" +
      Tagged(Marker::Speed, R"( (\d+\.\d)% of (\S+) at (\S+) ETA (\S+))") + "|" +
      std::string(Marker::ErrorPrefix) + ".+|" + Tagged(Marker::Connections, R"(\d+)") + "|" +
      std::string(Marker::TryLater) + "|" + Tagged(Marker::ListEnd, R"(\d+ \d+ [01])"));
  static const std::regex tagValue(values);
  for (const auto& line : run.lines) {
    std::smatch parts;
    EXPECT_TRUE(std::regex_match(line, parts, marker)) << "stray line: " << line;
    for (std::size_t i = 2; i <= 4 && parts.size() > 4 && parts[i].matched; ++i) {
      for (const char* word : {"of", "at", "ETA", "%"}) {
        EXPECT_EQ(parts[i].str().find(word), std::string::npos) << line;
      }
    }
    if (line.starts_with(Marker::ErrorPrefix)) continue;
    const std::string rest = LowerAscii(std::regex_replace(line, tagValue, ""));
    EXPECT_EQ(rest.find("error"), std::string::npos) << line;
    EXPECT_EQ(rest.find(LowerAscii(Marker::Traceback)), std::string::npos) << line;
  }
}

void ExpectSuccess(const RunResult& run) {
  ASSERT_EQ(run.exitCode, 0) << run.Text();
  ExpectWellFormedOutput(run);
}

void ExpectFailure(const RunResult& run, const fs::path& folder, const std::string& words) {
  EXPECT_NE(run.exitCode, 0) << run.Text();
  EXPECT_NE(run.exitCode, -1) << "did not end in time";
  const auto errors = run.Starting(std::string(Marker::ErrorPrefix));
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
  EXPECT_TRUE(run.lines.back().starts_with(std::string(Marker::Speed.open) + " 100.0% of "))
      << run.Text();
  EXPECT_EQ(run.Text().find("100.0%"), run.Text().rfind("100.0%")) << "100 % only once";
}

std::string TagValue(const RunResult& run, const MarkerTag& tag) {
  const auto lines = run.Starting(std::string(tag.open));
  if (lines.size() != 1 || !lines[0].ends_with(tag.close)) return {};
  return lines[0].substr(tag.open.size(), lines[0].size() - tag.open.size() - tag.close.size());
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
