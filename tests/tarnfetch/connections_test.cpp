// A large file over several connections at once: the parts land at their
// offsets in one ".part", a killed run continues only what is missing, and a
// server that sends whole files only gets one connection.
#include <atomic>
#include <mutex>

#include "download/MediaDownload.h"
#include "support/TarnfetchTest.h"

namespace tarnfetch_test {
namespace {

const std::string kBig = RandomBytes(16 << 20, 7);

class TarnfetchConnections : public TarnfetchTest {
 protected:
  void SetUp() override {
    // kBig with Range support, paced by pauseMs_; cut for good for
    // ranges from cutFrom_ on.
    Routes().Get("/big.mp4", [this](const httplib::Request& req, httplib::Response& res) {
      const bool ranged = req.has_header("Range");
      if (ranged) {
        std::lock_guard lock(mutex_);
        maxActive_ = std::max(maxActive_, ++active_);
      }
      res.set_content_provider(
          kBig.size(), "video/mp4",
          [this, ranged](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (ranged && offset >= cutFrom_) return false;
            const std::size_t chunk = std::min<std::size_t>(length, 64 << 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs_));
            if (!sink.write(kBig.data() + offset, chunk)) return false;
            if (ranged) servedRanged_ += chunk;
            return true;
          },
          [this, ranged](bool) {
            if (!ranged) return;
            std::lock_guard lock(mutex_);
            --active_;
          });
    });
    // Whole files only: a Range is answered with 200 and everything.
    Routes().Get("/whole.mp4", [](const httplib::Request&, httplib::Response& res) {
      res.status = 200;
      res.set_content(kBig, "video/mp4");
    });
  }

  std::mutex mutex_;
  int active_ = 0;
  int maxActive_ = 0;
  std::atomic<int> pauseMs_{0};  // before each 64 KiB
  std::atomic<std::size_t> cutFrom_{SIZE_MAX};
  std::atomic<std::size_t> servedRanged_{0};
};

TEST_F(TarnfetchConnections, ALargeFileComesOverFourConnectionsByteIdentical) {
  pauseMs_ = 2;  // so that the parts overlap
  const RunResult run = Fetch("/big.mp4", {"--connections", "4"});
  ExpectOnlyFile(run, "big.mp4");  // the control file removed
  EXPECT_TRUE(ReadFile(out() / "big.mp4") == kBig);
  EXPECT_EQ(maxActive_, 4) << "four connections at once";
  EXPECT_GE(SentValues("Range").size(), 4u);
  EXPECT_EQ(servedRanged_, kBig.size()) << "every byte fetched once";
  EXPECT_EQ(run.lines.back().rfind("<speed> 100.0% of 16.0MiB at ", 0), 0u) << run.lines.back();
  EXPECT_EQ(TagValue(run, Marker::Connections), "4");

  // One connection when asked for.
  fs::remove(out() / "big.mp4");
  ForgetRequests();
  const RunResult one = Fetch("/big.mp4", {"--connections", "1"});
  ASSERT_EQ(one.exitCode, 0) << one.Text();
  EXPECT_TRUE(ReadFile(out() / "big.mp4") == kBig);
  EXPECT_TRUE(SentValues("Range").empty()) << "one plain request";
}

TEST_F(TarnfetchConnections, AKilledRunContinuesOnlyWhatIsMissing) {
  pauseMs_ = 40;
  // Kill it well after its first save of the finished ranges. Four
  // connections, fewer than the server's threads: no request of the killed
  // run waits to be served after it.
  ASSERT_TRUE(KillWhen("/big.mp4", [&] { return servedRanged_ >= kBig.size() * 2 / 3; },
                       {"--connections", "4"}));

  const fs::path control = out() / "big.mp4.part.ctl";
  ASSERT_TRUE(fs::exists(out() / "big.mp4.part"));
  ASSERT_TRUE(fs::exists(control));
  const std::uint64_t recorded = RecordedBytes(control);
  EXPECT_GT(recorded, 0u);
  EXPECT_LT(recorded, kBig.size());

  pauseMs_ = 0;
  servedRanged_ = 0;
  const RunResult second = Fetch("/big.mp4");
  ASSERT_EQ(second.exitCode, 0) << second.Text();
  EXPECT_TRUE(ReadFile(out() / "big.mp4") == kBig);
  EXPECT_EQ(servedRanged_, kBig.size() - recorded + tarnfetch::MediaDownload::kComparedBytes)
      << "only the missing bytes again, and the first ones compared";
  EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"big.mp4"});
}

TEST_F(TarnfetchConnections, APartThatKeepsFailingEndsTheDownloadAndKeepsThePart) {
  cutFrom_ = kBig.size() / 2;
  ExpectFailure(Fetch("/big.mp4"), out());
  EXPECT_TRUE(fs::exists(out() / "big.mp4.part"));
  const std::uint64_t recorded = RecordedBytes(out() / "big.mp4.part.ctl");
  EXPECT_GE(recorded, kBig.size() / 2) << "the parts before the cut are recorded";
  EXPECT_LT(recorded, kBig.size());
}

TEST_F(TarnfetchConnections, AServerWithoutRangesGetsOneConnection) {
  const RunResult run = Fetch("/whole.mp4");
  ASSERT_EQ(run.exitCode, 0) << run.Text();
  EXPECT_TRUE(ReadFile(out() / "whole.mp4") == kBig);
  EXPECT_EQ(SentValues("Range").size(), 1u) << "one try with a range, then the whole file once";
  EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"whole.mp4"});
}

}  // namespace
}  // namespace tarnfetch_test
