// The adaptive connection count through the real program: more connections
// where the server holds each one to a rate, two where it refuses a third,
// and a remembered count used or a memory file it cannot use ignored.
#include <atomic>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>

#include "http/ConnectionPlan.h"
#include "support/TarnfetchTest.h"

namespace tarnfetch_test {
namespace {

const std::string kBig = RandomBytes(16 << 20, 11);
constexpr std::size_t kChunk = 64 << 10;

class TarnfetchAdaptive : public TarnfetchTest {
 protected:
  void SetUp() override {
    Routes().Get("/big.mp4", [this](const httplib::Request& req, httplib::Response& res) {
      if (!req.has_header("Range")) {
        res.set_content(kBig, "video/mp4");
        return;
      }
      {
        std::lock_guard lock(mutex_);
        if (most_ > 0 && active_ >= most_) {
          ++refused_;
          res.status = 429;
          return;
        }
        maxActive_ = std::max(maxActive_, ++active_);
      }
      // A range stops counting before its last bytes go out: the client may
      // ask for the next one on another connection before this one is released.
      const auto done = [this, open = std::make_shared<std::atomic<bool>>(true)] {
        if (!open->exchange(false)) return;
        std::lock_guard lock(mutex_);
        --active_;
      };
      res.set_content_provider(
          kBig.size(), "video/mp4",
          [this, done](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            std::this_thread::sleep_for(std::chrono::milliseconds(eachMs_));  // kChunk each
            if (length <= kChunk) done();
            return sink.write(kBig.data() + offset, std::min(length, kChunk));
          },
          [done](bool) { done(); });
    });
  }

  RunResult FetchBig() {
    RunResult run = Fetch("/big.mp4");
    ExpectSuccess(run);
    EXPECT_TRUE(ReadFile(out() / "big.mp4") == kBig) << "byte-identical";
    fs::remove(out() / "big.mp4");
    return run;
  }

  // The count the run settled on, as it says; 0 when it does not.
  static int Settled(const RunResult& run) {
    const std::string value = TagValue(run, Marker::Connections);
    return value.empty() ? 0 : std::stoi(value);
  }

  fs::path cache() const { return temp() / "cache"; }
  fs::path memoryFile() const { return cache() / "tarnfetch" / "connections"; }
  // The start of the memory file's line for this server.
  std::string MemoryLine() { return "files " + Url("").substr(7) + " "; }
  // A memory file in which the server's count is `count`.
  void Remember(int count) {
    fs::create_directories(memoryFile().parent_path());
    WriteFile(memoryFile(), "tarnfetch-connections 1\n" + MemoryLine() + std::to_string(count) +
                                " " + std::to_string(std::time(nullptr)) + "\n");
  }

  ScopedEnv cacheHome_{"XDG_CACHE_HOME", cache()};
  std::mutex mutex_;
  int eachMs_ = 0;
  int most_ = 0;  // ranges at a time before 429; 0: any
  int active_ = 0;
  int maxActive_ = 0;
  int refused_ = 0;
};

TEST_F(TarnfetchAdaptive, ConnectionsRiseWhereEachIsHeldToARate) {
  eachMs_ = 20;  // about 3 MB/s a connection
  const RunResult run = FetchBig();
  EXPECT_GT(maxActive_, 4);
  EXPECT_GT(Settled(run), 4);
  EXPECT_NE(ReadFile(memoryFile()).find(MemoryLine() + std::to_string(Settled(run)) + " "),
            std::string::npos)
      << "remembered";
}

TEST_F(TarnfetchAdaptive, ARefusedThirdConnectionSettlesAtTwoAndLosesNothing) {
  eachMs_ = 5;
  most_ = 2;
  // From four: refusals one by one, not all at once (where a loaded machine
  // may let a third range slip past this server's early release).
  Remember(4);
  const RunResult run = FetchBig();
  EXPECT_GT(refused_, 0);
  EXPECT_EQ(Settled(run), 2);
  EXPECT_NE(ReadFile(memoryFile()).find(MemoryLine() + "2 "), std::string::npos);
}

TEST_F(TarnfetchAdaptive, ARememberedCountIsUsedAndAFileItCannotUseIgnored) {
  struct Case {
    const char* what;
    std::function<void()> spoil;
    bool replaced;                                    // a good file is written in its place
    int settled = tarnfetch::ConnectionPlan::kFirst;  // the start; kept unpaced
  };
  const std::vector<Case> cases{
      {"good: used", [&] { Remember(2); }, true, 2},
      {"a folder in its place, neither readable nor writable",
       [&] { fs::create_directories(memoryFile()); }, false},
  };
  for (const Case& c : cases) {
    fs::remove_all(cache());
    fs::create_directories(memoryFile().parent_path());
    c.spoil();
    const RunResult run = FetchBig();
    EXPECT_EQ(Settled(run), c.settled) << c.what;
    if (c.replaced) {
      const std::string line = MemoryLine() + std::to_string(c.settled) + " ";
      EXPECT_EQ(ReadFile(memoryFile()).rfind("tarnfetch-connections 1\n" + line, 0), 0u) << c.what;
    }
  }
}

}  // namespace
}  // namespace tarnfetch_test
