// Replays tarnfetch's fuzz targets' seeds and every input that once broke
// one through the same harnesses and checks: page reading, entity decoding,
// JSON-LD and the file name made from the title; HLS playlists; the site
// extractor's answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../../fuzz/harness/ExtractorAnswerHarness.h"
#include "../../fuzz/harness/HlsPlaylistHarness.h"
#include "../../fuzz/harness/PageParserHarness.h"

namespace {

namespace fs = std::filesystem;

std::string gInput;

void ReportFailure(const char* condition, const char* file, int line) {
  ADD_FAILURE_AT(file, line) << condition << "\n  input: " << gInput;
}

TEST(TarnfetchFuzzReplay, SeedsAndRegressions) {
  fuzz::OnFailure() = ReportFailure;
  struct Target {
    const char* name;
    void (*run)(std::string_view);
  };
  for (const auto& [target, run] :
       {Target{"page_parser", &fuzz::RunPageParser}, Target{"hls_playlist", &fuzz::RunHlsPlaylist},
        Target{"extractor_answer", &fuzz::RunExtractorAnswer}}) {
    std::vector<fs::path> inputs;
    for (const char* kind : {"corpus", "regressions"}) {
      const fs::path dir = fs::path(QM_SOURCE_DIR) / "fuzz" / kind / target;
      if (!fs::is_directory(dir)) continue;
      for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    EXPECT_FALSE(inputs.empty()) << target;
    for (const fs::path& path : inputs) {
      gInput = path.string();
      std::ifstream in(path, std::ios::binary);
      run(std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
    }
  }
  fuzz::OnFailure() = fuzz::AbortOnFailure;
}

// Stray bytes become U+FFFD one by one; C1 controls are removed.
TEST(TarnfetchFuzzReplay, StrayBytesAndC1Controls) {
  EXPECT_EQ(tarnfetch::SanitizeTitle("caf\x85\x96 ok"), "caf\xEF\xBF\xBD\xEF\xBF\xBD ok");
  EXPECT_EQ(tarnfetch::SanitizeTitle("\xC2\x85\xC2\x9F-x"), "x");
  EXPECT_EQ(tarnfetch::SanitizeTitle("\xC2\xA0nbsp\xC2\xA9"), "\xC2\xA0nbsp\xC2\xA9");
}

}  // namespace
