// The download worker against the scripted fake downloader: real child
// processes, the real capture loop and hand-over, the real scheduler.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "download/TDownloadThread.h"
#include "missions/MissionStatus.h"
#include "pipeline/StopAll.h"
#include "support/DownloadFixture.h"
#include "support/QtTestApp.h"

namespace quillmarsh {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

using DownloadWorkerTest = DownloadFixture;

namespace {
const char* kProgress45 = "<speed> 45.7% of 8.0M at 1.2M ETA 00:05</speed>";
const char* kProgress100 = "<speed> 100.0% of 8.0M at 1.5M ETA 00:00</speed>";
}  // namespace

TEST_F(DownloadWorkerTest, ProgressToCompletion) {
  const int row =
      RunOne("done",
             std::string("out <Go>\\n<title>Clip</title>\\n<filename>/o/Clip.mp4</filename>\\n\n") +
                 "drain\nout " + kProgress45 + "\\n\ndrain\nout " + kProgress100 + "\\n\ndrain\n");
  EXPECT_THAT(History(row), Contains("[Downloading] 45%|8.0M|1.2M|00:05"));
  EXPECT_EQ(Cells(row), "[Downloaded]|8.0M||");
  EXPECT_EQ(host_.missions.caption(row), "Clip");
  EXPECT_EQ(host_.missions.record(row).progress, 100);
  EXPECT_EQ(host_.missions.record(row).fileName, "/o/Clip.mp4");
  EXPECT_EQ(host_.pipeline.RunningDownloads, 0);
  EXPECT_EQ(host_.startConvertCalls, 1);
  EXPECT_EQ(host_.startDownloadCalls, 2);  // the first, and the worker's final call
  EXPECT_EQ(host_.repaintCalls, 1);
  EXPECT_THAT(host_.reports, Contains("0 Download launch"));
  EXPECT_THAT(host_.reports, Contains("[Download done] http://v/done -> /o/Clip.mp4"));
  ASSERT_FALSE(host_.logs.empty());
  EXPECT_EQ(host_.logs.front().rfind("0 : <Go>", 0), 0u);
  EXPECT_EQ(host_.logs.back(), "0 : ");  // the empty read after the end is still interpreted
}

TEST_F(DownloadWorkerTest, SkipMarksTheFileAsPresent) {
  const int row = RunOne("skip", "out <Go>\\n<skip>/o/Clip.mp4</skip>\\n\n");
  EXPECT_EQ(Cells(row), "[Skip] File Exists|||");
  EXPECT_EQ(host_.missions.record(row).progress, 0);
  EXPECT_EQ(host_.missions.record(row).fileName, "/o/Clip.mp4");
  EXPECT_EQ(host_.pipeline.RunningDownloads, 0);
  EXPECT_EQ(host_.startConvertCalls, 1);
  EXPECT_THAT(host_.reports, Contains("[Skip] http://v/skip -> /o/Clip.mp4"));
}

TEST_F(DownloadWorkerTest, CrashReportAndErrorLinesFailTheDownload) {
  const int crashed = RunOne("trace", "out Traceback (most recent call last):\\n\nexit 1\n");
  EXPECT_EQ(host_.missions.status(crashed), Status::ErrorInDownload);
  EXPECT_EQ(host_.pipeline.RunningDownloads, 0);
  EXPECT_EQ(host_.startDownloadCalls, 2);

  const int failed =
      RunOne("error", "err Fetching\\n\nerr error: no video on the page\\n\nexit 1\n");
  EXPECT_EQ(host_.missions.status(failed), Status::ErrorInDownload);
  EXPECT_EQ(host_.pipeline.RunningDownloads, 0);
  EXPECT_EQ(host_.startDownloadCalls, 5);  // the error line asks at once, the end once more
  EXPECT_EQ(host_.startConvertCalls, 0);
}

TEST_F(DownloadWorkerTest, ATitleHoldingErrorIsACaptionNotAFailure) {
  const int row = RunOne("terror", std::string("out <title>Terror</title>\\n\ndrain\nout ") +
                                       kProgress100 + "\\n\ndrain\n");
  EXPECT_EQ(host_.missions.caption(row), "Terror");
  EXPECT_EQ(host_.missions.status(row), Status::Downloaded);
  EXPECT_THAT(History(row), Not(Contains(HasSubstr("[Error in download]"))));
  EXPECT_EQ(host_.startDownloadCalls, 2);
}

TEST_F(DownloadWorkerTest, ATitleWithOfAndAtDoesNotGarbleTheProgressCells) {
  const int row =
      RunOne("story", std::string("out <title>Story of a Cat at Home</title>\\n") + kProgress45 +
                          "\\n\ndrain\nout " + kProgress100 + "\\n\ndrain\n");
  EXPECT_EQ(host_.missions.caption(row), "Story of a Cat at Home");
  EXPECT_THAT(History(row), Contains("[Downloading] 45%|8.0M|1.2M|00:05"));
}

TEST_F(DownloadWorkerTest, EveryProgressLineOfAChunkCountsSoAFastDownloadCompletes) {
  const int row = RunOne("twice",
                         "out <speed> 40.0% of 8.0M at 1.0M ETA 00:09</speed>\\n"
                         "<speed> 41.0% of 8.0M at 1.1M ETA 00:08</speed>\\n\ndrain\n");
  EXPECT_THAT(History(row), Contains("[Downloading] 41%|8.0M|1.1M|00:08"));

  const int fast =
      RunOne("fast", std::string("out ") + kProgress45 + "\\n" + kProgress100 + "\\n\ndrain\n");
  EXPECT_EQ(host_.missions.status(fast), Status::Downloaded);
  EXPECT_EQ(host_.pipeline.RunningDownloads, 0);
}

TEST_F(DownloadWorkerTest, ADoneTagTwiceInAChunkReleasesTheSlotOnce) {
  const int row =
      RunOne("done2", std::string("out ") + kProgress100 + "\\n" + kProgress100 + "\\n\ndrain\n");
  EXPECT_EQ(host_.missions.status(row), Status::Downloaded);
  EXPECT_EQ(host_.pipeline.RunningDownloads, 0);
  EXPECT_EQ(host_.ReportsStartingWith("[Download done]").size(), 2u);
  EXPECT_EQ(host_.startConvertCalls, 2);
}

TEST_F(DownloadWorkerTest, ATagSplitAcrossReadsIsReadPiecewise) {
  // The reader takes 500 bytes per pass. The first tag is cut inside its
  // time; the second inside the "<speed>" marker, so it is not seen at all.
  const std::string first = "<speed> 45.0% of 8.0M at 1.2M ETA 00:05</speed>\n";
  const std::string second = "<speed> 50.0% of 9.0M at 2.0M ETA 00:04</speed>\n";
  const std::size_t cut = first.find("00:05") + 2;
  const std::size_t pad1 = 500 - cut;
  const std::size_t pad2 = 500 - (first.size() - cut) - std::string("<spe").size();
  const int row =
      RunOne("split", "fill " + std::to_string(pad1) + "\nout " +
                          first.substr(0, first.size() - 1) + "\\n\nfill " + std::to_string(pad2) +
                          "\nout " + second.substr(0, second.size() - 1) + "\\n\ndrain\n");
  EXPECT_THAT(History(row), Contains("[Downloading] 45%|8.0M|1.2M|"));
  EXPECT_THAT(History(row), Not(Contains(HasSubstr("50%"))));
}

TEST_F(DownloadWorkerTest, AZeroByteEndsTheChunk) {
  const int row =
      RunOne("zero", std::string("out <title>Before</title>\\0<title>After</title>\\n") +
                         kProgress100 + "\\n\ndrain\n");
  EXPECT_EQ(host_.missions.caption(row), "Before");
  EXPECT_THAT(History(row), Not(Contains(HasSubstr("[Downloaded]"))));
}

TEST_F(DownloadWorkerTest, ADownloaderEndingWithoutAResultFreesItsSlot) {
  const int crashed = RunOne("crash", std::string("out ") + kProgress45 + "\\n\ndrain\ncrash\n");
  EXPECT_THAT(History(crashed), Contains("[Downloading] 45%|8.0M|1.2M|00:05"));
  EXPECT_EQ(host_.missions.status(crashed), Status::ErrorInDownload);
  EXPECT_EQ(host_.pipeline.RunningDownloads, 0);

  ::unlink(dir_.file("tarnfetch").c_str());
  const int missing = RunOne("missing", "");
  EXPECT_EQ(host_.missions.status(missing), Status::ErrorInDownload);
  EXPECT_EQ(host_.pipeline.RunningDownloads, 0);
  EXPECT_THAT(host_.reports, Contains(HasSubstr("[Error in download] http://v/missing")));
  EXPECT_EQ(host_.startDownloadCalls, 4);
}

TEST_F(DownloadWorkerTest, StopDropsTheWorkersLaterHandOvers) {
  Script("slow", std::string("out ") + kProgress45 + "\\n\ndrain\nsleep 30000\n");
  const int row = host_.AddMission(UrlFor("slow"));
  host_.StartDownload();
  ASSERT_TRUE(SpinUntil([&] { return host_.missions.status(row) != Status::Downloading; }));
  StopAll(host_);
  ASSERT_TRUE(host_.WaitForIdle(std::chrono::seconds(3)));
  // No "[Error in download]" from the killed downloader, no restart.
  EXPECT_EQ(Cells(row), "[Wait for download]|8.0M||");
  EXPECT_EQ(host_.pipeline.RunningDownloads, 0);
  EXPECT_EQ(host_.startDownloadCalls, 1);
  EXPECT_TRUE(host_.pipeline.Stopping);
}

}  // namespace quillmarsh

namespace quillmarsh {

// Why a download failed: the row keeps the reason as its Progress cell's
// tooltip, the report has it, and nothing the downloader prints after its
// error line brings the row back to work.
TEST_F(DownloadWorkerTest, FailedRowsKeepTheirReasonAndStayFailed) {
  struct Case {
    const char* name;
    std::string script;
    std::string reason;
  };
  const std::string at45 = std::string("out ") + kProgress45 + "\\n\ndrain\n";
  const std::string at50 = "out <speed> 50.0% of 8.0M at 1.2M ETA 00:04</speed>\\n\ndrain\n";
  const Case cases[] = {
      {"refused", "out <title>Terror</title>\\nERROR: HTTP Error 403: Forbidden\\n\n",
       "HTTP Error 403: Forbidden"},
      {"lateprogress", at45 + "out ERROR: connection reset\\n\ndrain\n" + at50 + "sleep 300\n",
       "connection reset"},
      {"sameChunk", std::string("out ERROR: gone\\n") + kProgress100 + "\\n\ndrain\n", "gone"},
      {"lateskip", "out ERROR: no formats\\n\ndrain\nout <skip>/o/x.mp4</skip>\\n\n", "no formats"},
      {"lowercase", "out fatal error while reading\\n\n", "fatal error while reading"},
      {"crashed", at45 + "crash\n", "the downloader ended without a result (exit status 137)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int row = RunOne(c.name, c.script);
    EXPECT_EQ(host_.missions.status(row), Status::ErrorInDownload);
    EXPECT_EQ(host_.missions.reason(row), c.reason);
    const QModelIndex cell = host_.missions.index(row, ColProgress);
    EXPECT_EQ(cell.data(Qt::ToolTipRole).toString().toStdString(), c.reason);
    EXPECT_THAT(host_.reports,
                Contains("[Error in download] " + UrlFor(c.name) + " -> " + c.reason));
    EXPECT_THAT(History(row), Not(Contains(HasSubstr("50%"))));
    EXPECT_THAT(History(row), Not(Contains(HasSubstr("[Downloaded]"))));
    EXPECT_THAT(History(row), Not(Contains(HasSubstr("[Skip]"))));
    EXPECT_EQ(host_.pipeline.RunningDownloads, 0);
  }

  // Reset: waiting again, nothing to explain any more.
  host_.missions.setStatus(0, std::string(Status::WaitForDownload));
  EXPECT_EQ(host_.missions.reason(0), "");
  EXPECT_EQ(host_.missions.index(0, ColProgress).data(Qt::ToolTipRole).toString(),
            QStringLiteral("[Wait for download]"));
}

// After Stop no row shows work, also one whose worker has already gone.
TEST_F(DownloadWorkerTest, StopLeavesNoRowAtWork) {
  Script("slow", std::string("out ") + kProgress45 + "\\n\ndrain\nsleep 30000\n");
  const int running = host_.AddMission(UrlFor("slow"));
  host_.StartDownload();
  ASSERT_TRUE(SpinUntil([&] { return host_.missions.status(running) == "[Downloading] 45%"; }));
  const int orphan = host_.AddMission("http://v/orphan", "[Downloading] 30%");
  const int converting = host_.AddMission("http://v/converting", "[Converting] 12%");
  const int done = host_.AddMission("http://v/done", "[Downloaded]");

  StopAll(host_);
  EXPECT_EQ(host_.missions.status(running), Status::WaitForDownload);
  EXPECT_EQ(host_.missions.status(orphan), Status::WaitForDownload);
  EXPECT_EQ(host_.missions.status(converting), Status::WaitForConvert);
  EXPECT_EQ(host_.missions.status(done), Status::Downloaded);
}

}  // namespace quillmarsh
