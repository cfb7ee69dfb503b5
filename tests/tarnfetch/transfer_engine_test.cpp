// The transfer engine and the control file against the loopback server:
// parallel ranges, retries that continue where they broke, failures.
#include <atomic>

#include "core/FetchError.h"
#include "files/ControlFile.h"
#include "files/OutputFolder.h"
#include "http/TransferEngine.h"
#include "support/TarnfetchTest.h"

namespace tarnfetch_test {
namespace {

using tarnfetch::ByteRange;
using tarnfetch::TransferEngine;
using tarnfetch::TransferRequest;

const std::string kData = RandomBytes(600 << 10, 7);

class TransferEngineTest : public TarnfetchTest {
 protected:
  void SetUp() override {
    auto& routes = Routes();
    // Serves ranges; counts how many requests are in progress at once.
    routes.Get("/data", [this](const httplib::Request&, httplib::Response& res) {
      const int now = ++inFlight_;
      for (int seen = maxInFlight_; now > seen && !maxInFlight_.compare_exchange_weak(seen, now);) {
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      --inFlight_;
      res.set_content(kData, "application/octet-stream");
    });
    // 503 for the first two requests, then the data.
    routes.Get("/flaky", [this](const httplib::Request& req, httplib::Response& res) {
      if (Count(req.path) <= 2) {
        res.status = 503;
        return;
      }
      res.set_content(kData, "application/octet-stream");
    });
    routes.Get("/broken",
               [](const httplib::Request&, httplib::Response& res) { res.status = 500; });
    // The first answer breaks after 100 KiB; later ones honour the range.
    routes.Get("/cut", [this](const httplib::Request& req, httplib::Response& res) {
      if (Count(req.path) == 1) {
        res.set_content_provider(kData.size(), "application/octet-stream",
                                 [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                   if (offset >= (100 << 10)) return false;
                                   sink.write(kData.data() + offset, (100 << 10) - offset);
                                   return true;
                                 });
        return;
      }
      res.set_content(kData, "application/octet-stream");
    });
    routes.Get("/elsewhere", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("file:///etc/passwd");
    });
  }

  // The Range of each request for path, "" where it sent none.
  std::vector<std::string> Ranges(const std::string& path) {
    std::vector<std::string> ranges;
    for (const SeenRequest& request : Seen()) {
      if (request.path == path) ranges.push_back(request.Header("Range"));
    }
    return ranges;
  }

  // Requests for the given ranges of path, written into `into` at their offsets.
  std::vector<TransferRequest> Requests(const std::string& path,
                                        const std::vector<ByteRange>& ranges, std::string& into) {
    std::vector<TransferRequest> requests;
    for (const ByteRange& range : ranges) {
      TransferRequest request;
      request.url = Url(path);
      request.range = range;
      request.sink = [&into](std::uint64_t offset, const char* data, std::size_t size,
                             std::string*) {
        if (into.size() < offset + size) into.resize(offset + size);
        into.replace(offset, size, data, size);
        return true;
      };
      request.done = [this] { ++done_; };
      requests.push_back(std::move(request));
    }
    return requests;
  }

  static void RunAll(TransferEngine& engine, std::vector<TransferRequest> requests) {
    std::size_t next = 0;
    engine.Run([&]() -> std::optional<TransferRequest> {
      if (next == requests.size()) return std::nullopt;
      return requests[next++];
    });
  }

  std::atomic<int> inFlight_{0};
  std::atomic<int> maxInFlight_{0};
  int done_ = 0;
};

TEST_F(TransferEngineTest, ParallelRangesRetriesAndFailures) {
  const std::uint64_t quarter = kData.size() / 4;
  std::vector<ByteRange> quarters;
  for (std::uint64_t i = 0; i < 4; ++i) {
    quarters.push_back(
        {i * quarter, i == 3 ? std::nullopt : std::optional(i * quarter + quarter - 1)});
  }
  struct Case {
    const char* path;
    std::vector<ByteRange> ranges;
    std::vector<std::string> expectedRanges;  // as the server saw them, in order
    const char* failure;                      // nullptr: succeeds
  };
  const std::vector<Case> cases{
      {"/flaky", {ByteRange{}}, {"", "", ""}, nullptr},
      {"/cut", {ByteRange{}}, {"", "bytes=102400-"}, nullptr},
      {"/broken", {ByteRange{}}, {"", "", "", ""}, "HTTP 500"},
      {"/elsewhere", {ByteRange{}}, {""}, "not http or https"},
      {"/data", quarters, {}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string received;
    done_ = 0;
    TransferEngine engine(4, {});
    std::uint64_t reported = 0;
    engine.OnProgress([&](std::uint64_t total) { reported = total; });
    if (c.failure != nullptr) {
      try {
        RunAll(engine, Requests(c.path, c.ranges, received));
        ADD_FAILURE() << "no failure";
      } catch (const tarnfetch::FetchError& failure) {
        EXPECT_NE(std::string(failure.what()).find(c.failure), std::string::npos) << failure.what();
      }
      EXPECT_EQ(done_, 0);
    } else {
      RunAll(engine, Requests(c.path, c.ranges, received));
      EXPECT_EQ(done_, static_cast<int>(c.ranges.size()));
      EXPECT_TRUE(received == kData);
      EXPECT_GE(reported, kData.size());
    }
    if (!c.expectedRanges.empty()) {
      EXPECT_EQ(Ranges(c.path), c.expectedRanges);
    }
  }
  EXPECT_GE(maxInFlight_.load(), 2) << "the four ranges ran one after another";
  std::vector<std::string> data = Ranges("/data");
  std::sort(data.begin(), data.end());
  EXPECT_EQ(data, (std::vector<std::string>{"bytes=0-153599", "bytes=153600-307199",
                                            "bytes=307200-460799", "bytes=460800-"}));
}

TEST(ControlFileTest, KeepsSpansAndValuesAcrossRunsAndDistrustsDamage) {
  TempDir temp;
  const fs::path dir = temp.path();
  tarnfetch::OutputFolder folder(temp.path());
  {
    tarnfetch::ControlFile record(folder, "v.mp4");
    EXPECT_FALSE(record.Load());
    record.Set("etag", "\"a b\"\n%");
    for (auto [first, end] : {std::pair<std::uint64_t, std::uint64_t>{100, 200},
                              {0, 50},
                              {50, 100},
                              {300, 400},
                              {350, 500}}) {
      record.AddDone(first, end);
    }
    record.Save();
  }
  tarnfetch::ControlFile again(folder, "v.mp4");
  ASSERT_TRUE(again.Load());
  EXPECT_EQ(again.Get("etag"), "\"a b\"\n%");
  EXPECT_EQ(again.Done(), (std::vector<tarnfetch::ControlFile::Span>{{0, 200}, {300, 500}}));
  EXPECT_EQ(again.DoneBytes(), 400u);
  EXPECT_EQ(FilesBelow(dir), std::vector<std::string>{"v.mp4.part.ctl"});

  // Cut short (no end line) or garbled: nothing of it is trusted.
  const std::string saved = ReadFile(dir / "v.mp4.part.ctl");
  for (const std::string& damaged : {saved.substr(0, saved.size() - 4), std::string("garbage\n"),
                                     saved.substr(0, saved.size() - 4) + "done 9 1\nend\n"}) {
    WriteFile(dir / "v.mp4.part.ctl", damaged);
    EXPECT_FALSE(again.Load()) << damaged;
    EXPECT_TRUE(again.Done().empty());
  }
  again.Remove();
  EXPECT_TRUE(FilesBelow(dir).empty());
}

}  // namespace
}  // namespace tarnfetch_test
