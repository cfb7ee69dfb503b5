// A file fetched over one connection is retried like any part: a reset and
// a stall in the same run cost one request each, for the bytes still
// missing.
#include <atomic>

#include "TarnfetchHarness.h"

namespace tarnfetch_test {
namespace {

const std::string kFile = RandomBytes(1 << 20, 30);  // one connection: below the size for parts
const std::size_t kResetAt = kFile.size() * 4 / 10;
const std::size_t kStallAt = kFile.size() * 7 / 10;

class TarnfetchOneConnection : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TARNFETCH_TEST_STALL_SECONDS", "2", 1);
    server_.Routes().Get("/file.mp4", [this](const httplib::Request& req, httplib::Response& res) {
      int request = 0;
      {
        std::lock_guard lock(mutex_);
        ranges_.push_back(req.get_header_value("Range"));
        request = static_cast<int>(ranges_.size());
      }
      // The first request is tarnfetch's look at the address; the second
      // breaks off at 40 %, the third stops sending at 70 %.
      const std::size_t end = request == 2 ? kResetAt : request == 3 ? kStallAt : kFile.size();
      res.set_content_provider(
          kFile.size(), "video/mp4",
          [this, end](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (offset < end) {
              sink.write(kFile.data() + offset, std::min(length, end - offset));
              return true;
            }
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (end == kStallAt && !released_ && std::chrono::steady_clock::now() < until) {
              std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            return false;
          });
    });
  }
  void TearDown() override {
    released_ = true;
    unsetenv("TARNFETCH_TEST_STALL_SECONDS");
  }

  TempFolder temp_;
  std::mutex mutex_;
  std::vector<std::string> ranges_;
  std::atomic<bool> released_{false};
  LoopbackServer server_;  // last, so that it stops first
};

TEST_F(TarnfetchOneConnection, AResetAndAStallAreRetriedForWhatIsMissing) {
  const fs::path file = temp_.Path() / "file.mp4";
  const RunResult run = RunTarnfetch({server_.Url("/file.mp4"), "-p", file.string()});
  ASSERT_EQ(run.exitCode, 0) << run.Text();
  ExpectWellFormedOutput(run);
  EXPECT_TRUE(ReadFile(file) == kFile);
  EXPECT_EQ(ranges_, (std::vector<std::string>{"", "", "bytes=" + std::to_string(kResetAt) + "-",
                                               "bytes=" + std::to_string(kStallAt) + "-"}));
  EXPECT_EQ(FilesBelow(temp_.Path()), std::vector<std::string>{"file.mp4"});
}

}  // namespace
}  // namespace tarnfetch_test
