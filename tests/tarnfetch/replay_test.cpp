// Replays tarnfetch's fuzz targets' seeds and every input that once broke
// one through the same harnesses and checks: page reading, entity decoding,
// JSON-LD and the file name made from the title; HLS playlists; DASH
// manifests and the joining of their periods; segment starts; answer
// heads; control files; the site extractor's answer.
#include <gtest/gtest.h>

#include <string>

#include "../../fuzz/harness/ControlFileHarness.h"
#include "../../fuzz/harness/DashManifestHarness.h"
#include "../../fuzz/harness/DashPeriodJoinHarness.h"
#include "../../fuzz/harness/ExtractorAnswerHarness.h"
#include "../../fuzz/harness/HlsPlaylistHarness.h"
#include "../../fuzz/harness/HttpHeadHarness.h"
#include "../../fuzz/harness/PageParserHarness.h"
#include "../../fuzz/harness/SegmentCheckHarness.h"
#include "support/FuzzReplay.h"

namespace {

TEST(TarnfetchFuzzReplay, SeedsAndRegressions) {
  fuzz::Replay("page_parser", fuzz::RunPageParser);
  fuzz::Replay("hls_playlist", fuzz::RunHlsPlaylist);
  fuzz::Replay("dash_manifest", fuzz::RunDashManifest);
  fuzz::Replay("http_head", fuzz::RunHttpHead);
  fuzz::Replay("control_file", fuzz::RunControlFile);
  fuzz::Replay("extractor_answer", fuzz::RunExtractorAnswer);
  fuzz::Replay("segment_check", fuzz::RunSegmentCheck);
  fuzz::Replay("dash_period_join", fuzz::RunDashPeriodJoin);
}

// Stray bytes become U+FFFD one by one; C1 controls are removed.
TEST(TarnfetchFuzzReplay, StrayBytesAndC1Controls) {
  EXPECT_EQ(tarnfetch::SanitizeTitle("caf\x85\x96 ok"), "caf\xEF\xBF\xBD\xEF\xBF\xBD ok");
  EXPECT_EQ(tarnfetch::SanitizeTitle("\xC2\x85\xC2\x9F-x"), "x");
  EXPECT_EQ(tarnfetch::SanitizeTitle("\xC2\xA0nbsp\xC2\xA9"), "\xC2\xA0nbsp\xC2\xA9");
}

}  // namespace
