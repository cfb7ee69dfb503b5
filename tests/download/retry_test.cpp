// Trying a download again after a passing fault: the worker's verdicts
// against the scripted downloader, and the whole road with the real
// tarnfetch and a loopback server that breaks every connection for a while.
#include <gtest/gtest.h>
#include <unistd.h>

#include <mutex>
#include <random>

#include "download/DownloadScheduler.h"
#include "download/RetryPlan.h"
#include "missions/MissionStatus.h"
#include "pipeline/RetryTimer.h"
#include "pipeline/StopAll.h"
#include "platform/WorkerThread.h"
#include "support/DownloadFixture.h"
#include "support/LoopbackServer.h"
#include "support/QtTestApp.h"

namespace quillmarsh {

using namespace std::chrono_literals;

namespace {
// Each test's waits: short, and the first one shortest.
struct ShortWaits {
  explicit ShortWaits(RetryDelays delays) { SetRetryDelaysForTests(delays); }
  ~ShortWaits() { SetRetryDelaysForTests(std::nullopt); }
};

const char* kReset = "out <Go>\\nERROR: The connection broke (reset)\\n<try-later>\\n\n";
}  // namespace

using RetryVerdicts = DownloadFixture;

TEST_F(RetryVerdicts, APassingFaultWaitsWithoutItsSlotAndAFinalOneFails) {
  const ShortWaits waits({1h, 1h, 1h});  // nothing comes due during the test
  const struct {
    const char* script;
    int triesBefore;
    std::string status;
    std::string tooltip;
  } cases[] = {
      // The marker in a chunk of its own.
      {"out ERROR: HTTP 503\\n\ndrain\nsleep 100\nout <try-later>\\n\n", 1,
       std::string(Status::WaitForDownload), "(2 of 3): HTTP 503"},
      {kReset, 3, std::string(Status::ErrorInDownload), "The connection broke (reset)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    Script("v", c.script);
    host_.missions.clear();
    const int row = host_.AddMission(UrlFor("v"));
    RetryWait before;
    before.tries = c.triesBefore;
    host_.missions.setRetryWait(row, before);
    host_.StartDownload();
    ASSERT_TRUE(host_.WaitForIdle());
    EXPECT_EQ(host_.missions.status(row), c.status);
    EXPECT_EQ(host_.pipeline.RunningDownloads, 0);
    const QString tip =
        host_.missions.data(host_.missions.index(row, ColProgress), Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.endsWith(QString::fromStdString(c.tooltip))) << tip.toStdString();
    EXPECT_EQ(GetNextDownUrl(host_.missions), -1) << "a waiting row is not taken early";
  }
  StopAll(host_);
  EXPECT_FALSE(host_.missions.record(0).retry.waiting) << "Stop ends the wait";
}

// A file served whole only once `faultyFor` has passed since its first
// request; before, each answer breaks off at `cutAt` bytes.
struct BreakingServer {
  BreakingServer(std::size_t size, std::size_t cutAt, std::chrono::milliseconds faultyFor)
      : data(size, '\0') {
    std::mt19937 random(5);
    for (char& c : data) c = static_cast<char>(random());
    server.Routes().Get("/clip.mp4", [this, cutAt, faultyFor](const httplib::Request& req,
                                                              httplib::Response& res) {
      bool faulty;
      {
        std::lock_guard guard(lock);
        const auto now = std::chrono::steady_clock::now();
        if (!first) first = now;
        faulty = now - *first < faultyFor;
        ranges.push_back(req.get_header_value("Range"));
      }
      res.set_content_provider(
          data.size(), "video/mp4",
          [this, cutAt, faulty](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            const std::size_t end = faulty ? cutAt : data.size();
            if (offset >= end) return false;  // the connection ends here
            return sink.write(data.data() + offset, std::min<std::size_t>(length, end - offset));
          });
    });
  }
  std::vector<std::string> Ranges() {
    std::lock_guard guard(lock);
    return ranges;
  }
  std::string data;
  std::mutex lock;
  std::optional<std::chrono::steady_clock::time_point> first;
  std::vector<std::string> ranges;
  LoopbackServer server;  // last: stops first
};

TEST(TryingAgain, ADownloadBrokenForAWhileEndsWholeAfterItsTriesWithoutFetchingBytesTwice) {
  EnsureQtApp();
  WorkerThread::ResumeHandOvers();
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) unsetenv(name);
  const ShortWaits waits({500ms, 4s, 4s});
  constexpr std::size_t kSize = 2 << 20, kCut = kSize * 2 / 5;
  BreakingServer served(kSize, kCut, 3s);
  TempDir dir;
  TestHost host;
  host.programDir = QM_APP_DIR "/";
  host.outputDir = dir.path() + "/";
  RetryTimer timer(host);
  std::vector<std::string> tooltips;
  QObject::connect(&host.missions, &MissionModel::retryWaitsChanged, [&] {
    const RetryWait& wait = host.missions.record(0).retry;
    if (!wait.waiting) return;
    tooltips.push_back(RetryTooltip(wait));
    EXPECT_EQ(host.pipeline.RunningDownloads, 0) << "no slot is held while waiting";
  });

  host.AddMission(served.server.Url("/clip.mp4"));
  host.StartDownload();
  ASSERT_TRUE(SpinUntil([&] { return host.missions.status(0) == Status::Downloaded; }, 60s))
      << host.missions.status(0) << " " << host.missions.reason(0);
  ASSERT_TRUE(host.WaitForIdle());

  ASSERT_FALSE(tooltips.empty());
  EXPECT_NE(tooltips[0].find(" (1 of 3): The connection broke"), std::string::npos) << tooltips[0];
  EXPECT_TRUE(ReadFile(dir.file("clip.mp4")) == served.data) << "the file is whole";
  // The last try asks for the rest only.
  EXPECT_EQ(served.Ranges().back(), "bytes=" + std::to_string(kCut) + "-");
}

}  // namespace quillmarsh
