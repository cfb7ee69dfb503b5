// A file fetched over one connection is retried like any part: a reset and
// a stall in the same run cost one request each, for the bytes still
// missing.
#include <atomic>
#include <chrono>
#include <thread>

#include "support/TarnfetchTest.h"

namespace tarnfetch_test {
namespace {

const std::string kFile = RandomBytes(1 << 20, 30);  // one connection: below the size for parts
const std::size_t kResetAt = kFile.size() * 4 / 10;
const std::size_t kStallAt = kFile.size() * 7 / 10;

class TarnfetchOneConnection : public TarnfetchTest {
 protected:
  void SetUp() override {
    // The first request is tarnfetch's look at the address; the second
    // breaks off at 40 %, the third stops sending at 70 %.
    Routes().Get("/file.mp4", [this](const httplib::Request&, httplib::Response& res) {
      const int request = ++requests_;
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
    TarnfetchTest::TearDown();
  }

  ScopedEnv stall_{"TARNFETCH_TEST_STALL_SECONDS", "2"};
  std::atomic<int> requests_{0};
  std::atomic<bool> released_{false};
};

TEST_F(TarnfetchOneConnection, AResetAndAStallAreRetriedForWhatIsMissing) {
  ExpectOnlyFile(Fetch("/file.mp4"), "file.mp4");
  EXPECT_TRUE(ReadFile(out() / "file.mp4") == kFile);
  EXPECT_EQ(Count("/file.mp4"), 4);
  EXPECT_EQ(SentValues("Range", "/file.mp4"),
            (std::vector<std::string>{"bytes=" + std::to_string(kResetAt) + "-",
                                      "bytes=" + std::to_string(kStallAt) + "-"}));
}

}  // namespace
}  // namespace tarnfetch_test
