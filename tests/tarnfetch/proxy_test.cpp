// --proxy: every request of a run goes through the proxy, and the site
// extractor is told to use it. The proxy is a loopback server that forwards
// absolute-form requests and marks what it forwards.
#include "TarnfetchHarness.h"

namespace tarnfetch_test {
namespace {

const std::string kClip = RandomBytes(200 << 10, 40);
const std::string kSegment = RandomBytes(20 << 10, 41);

// Forwards "GET http://host:port/path" to the origin with a mark, and its
// answer back. The whole resource is fetched and the proxy's own server
// cuts any Range the client asked for.
class MarkingProxy {
 public:
  MarkingProxy() {
    server_.Routes().Get(".*", [](const httplib::Request& req, httplib::Response& res) {
      const std::string& target = req.target;  // absolute form
      const auto path = target.find('/', target.find("://") + 3);
      httplib::Client origin(target.substr(0, path));
      httplib::Headers headers{{"X-Through-Proxy", "yes"}};
      for (const char* name : {"Referer", "User-Agent", "Cookie"}) {
        if (req.has_header(name)) headers.emplace(name, req.get_header_value(name));
      }
      const auto answer = origin.Get(target.substr(path), headers);
      if (!answer) return void(res.status = 502);
      if (answer->status != 200) res.status = answer->status;
      for (const char* name : {"Location", "ETag", "Last-Modified"}) {
        if (answer->has_header(name)) res.set_header(name, answer->get_header_value(name));
      }
      res.set_content(answer->body, answer->get_header_value("Content-Type"));
    });
  }
  std::string Address() { return server_.Url(""); }

 private:
  LoopbackServer server_;
};

class TarnfetchProxy : public ::testing::Test {
 protected:
  void SetUp() override {
    origin_.Routes().Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
      {
        std::lock_guard lock(mutex_);
        seen_.push_back(req.get_header_value("X-Through-Proxy") + " " + req.path);
      }
      if (req.path == "/page.html") {
        return res.set_content("<title>Proxied</title><video src=\"/clip.mp4\"></video>",
                               "text/html");
      }
      if (req.path == "/nothing.html")
        return res.set_content("<title>No video</title>", "text/html");
      if (req.path == "/clip.mp4") return res.set_content(kClip, "video/mp4");
      if (req.path == "/stream.m3u8") {
        std::string playlist = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n";
        for (int i = 0; i < 3; ++i) playlist += "#EXTINF:2.0,\nseg" + std::to_string(i) + ".ts\n";
        return res.set_content(playlist + "#EXT-X-ENDLIST\n", "application/vnd.apple.mpegurl");
      }
      if (req.path.starts_with("/seg")) return res.set_content(kSegment, "video/mp2t");
      res.status = 404;
    });
  }

  // Runs with PATH holding only `bin`: no ffmpeg, so a stream's segments
  // stay joined as they are, and any stand-in extractor placed there.
  RunResult Fetch(const std::string& path) {
    const std::string saved = std::getenv("PATH");
    setenv("PATH", bin().c_str(), 1);
    RunResult run = RunTarnfetch({origin_.Url(path), "-p", (out() / "%(title)s.%(ext)s").string(),
                                  "--proxy", proxy_.Address()});
    setenv("PATH", saved.c_str(), 1);
    return run;
  }

  // Every request reached the origin through the proxy; the paths asked.
  std::vector<std::string> Asked() {
    std::vector<std::string> paths;
    for (const std::string& request : seen_) {
      EXPECT_TRUE(request.starts_with("yes ")) << "not through the proxy: " << request;
      paths.push_back(request.substr(request.find(' ') + 1));
    }
    seen_.clear();
    return paths;
  }

  fs::path bin() const { return temp_.Path() / "bin"; }
  fs::path out() const { return temp_.Path() / "out"; }

  TempFolder temp_;
  std::mutex mutex_;
  std::vector<std::string> seen_;
  MarkingProxy proxy_;
  LoopbackServer origin_;  // last, so that it stops first
};

TEST_F(TarnfetchProxy, APageAndItsFileAndAStreamComeThroughTheProxy) {
  fs::create_directories(bin());
  const RunResult page = Fetch("/page.html");
  ASSERT_EQ(page.exitCode, 0) << page.Text();
  EXPECT_TRUE(ReadFile(out() / "Proxied.mp4") == kClip);
  EXPECT_EQ(Asked(), (std::vector<std::string>{"/page.html", "/clip.mp4", "/clip.mp4"}));

  const RunResult stream = Fetch("/stream.m3u8");
  ASSERT_EQ(stream.exitCode, 0) << stream.Text();
  EXPECT_TRUE(ReadFile(out() / "stream.ts") == kSegment + kSegment + kSegment);
  auto asked = Asked();
  std::sort(asked.begin(), asked.end());
  EXPECT_EQ(asked, (std::vector<std::string>{"/seg0.ts", "/seg1.ts", "/seg2.ts", "/stream.m3u8",
                                             "/stream.m3u8"}));
}

TEST_F(TarnfetchProxy, TheSiteExtractorIsToldToUseTheProxy) {
  fs::create_directories(bin());
  const fs::path program = bin() / "yt-dlp";
  // Says where it was asked to go, then answers with the clip.
  WriteFile(program, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + (temp_.Path() / "args").string() +
                         "'\nprintf '%s' '{\"title\": \"Extracted\", \"url\": \"" +
                         origin_.Url("/clip.mp4") +
                         "\", \"ext\": \"mp4\", \"protocol\": \"http\"}'\n");
  fs::permissions(program, fs::perms::owner_all);
  const RunResult run = Fetch("/nothing.html");
  ASSERT_EQ(run.exitCode, 0) << run.Text();
  EXPECT_TRUE(ReadFile(out() / "Extracted.mp4") == kClip);
  EXPECT_NE(ReadFile(temp_.Path() / "args").find("--proxy\n" + proxy_.Address() + "\n--\n"),
            std::string::npos)
      << ReadFile(temp_.Path() / "args");
  EXPECT_EQ(Asked(), (std::vector<std::string>{"/nothing.html", "/clip.mp4", "/clip.mp4"}));
}

}  // namespace
}  // namespace tarnfetch_test
