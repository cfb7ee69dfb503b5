// --proxy: every request of a run goes through the proxy, and the site
// extractor is told to use it. The proxy is a loopback server that forwards
// absolute-form requests and marks what it forwards.
#include <algorithm>

#include "support/TarnfetchTest.h"

namespace tarnfetch_test {
namespace {

const std::string kClip = RandomBytes(200 << 10, 40);
// Random MPEG-TS packets: a segment must start as its container.
const std::string kSegment = [] {
  std::string packets = RandomBytes(188 * 100, 41);
  for (std::size_t at = 0; at < packets.size(); at += 188) packets[at] = '\x47';
  return packets;
}();

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

class TarnfetchProxy : public TarnfetchTest {
 protected:
  void SetUp() override {
    Serve("/page.html", "<title>Proxied</title><video src=\"/clip.mp4\"></video>");
    Serve("/nothing.html", "<title>No video</title>");
    Serve("/clip.mp4", kClip);
    std::string playlist = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n";
    for (int i = 0; i < 3; ++i) {
      playlist += "#EXTINF:2.0,\nseg" + std::to_string(i) + ".ts\n";
      Serve("/seg" + std::to_string(i) + ".ts", kSegment);
    }
    Serve("/stream.m3u8", playlist + "#EXT-X-ENDLIST\n");
  }

  RunResult FetchThroughProxy(const std::string& path) {
    return Fetch(path, {"--proxy", proxy_.Address()});
  }

  // Every request reached the server through the proxy; the paths asked.
  std::vector<std::string> Asked() {
    std::vector<std::string> paths;
    for (const SeenRequest& request : Seen()) {
      EXPECT_EQ(request.Header("X-Through-Proxy"), "yes")
          << "not through the proxy: " << request.path;
      paths.push_back(request.path);
    }
    ForgetRequests();
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  // PATH holds only the stand-ins: no ffmpeg, so a stream's segments stay
  // joined as they are.
  StandInPrograms bin_{""};
  MarkingProxy proxy_;
};

TEST_F(TarnfetchProxy, APageAndItsFileAndAStreamComeThroughTheProxy) {
  ExpectOnlyFile(FetchThroughProxy("/page.html"), "Proxied.mp4");
  EXPECT_TRUE(ReadFile(out() / "Proxied.mp4") == kClip);
  EXPECT_EQ(Asked(), (std::vector<std::string>{"/clip.mp4", "/clip.mp4", "/page.html"}));

  const RunResult stream = FetchThroughProxy("/stream.m3u8");
  ASSERT_NO_FATAL_FAILURE(ExpectSuccess(stream));
  EXPECT_TRUE(ReadFile(out() / "stream.ts") == kSegment + kSegment + kSegment);
  EXPECT_EQ(Asked(), (std::vector<std::string>{"/seg0.ts", "/seg1.ts", "/seg2.ts", "/stream.m3u8",
                                               "/stream.m3u8"}));
}

TEST_F(TarnfetchProxy, TheSiteExtractorIsToldToUseTheProxy) {
  // Says where it was asked to go, then answers with the clip.
  const std::string args = (temp() / "args").string();
  bin_.Script("yt-dlp", "printf '%s\\n' \"$@\" > '" + args +
                            "'\nprintf '%s' '{\"title\": " + "\"Extracted\", \"url\": \"" +
                            Url("/clip.mp4") + "\", \"ext\": \"mp4\", \"protocol\": \"http\"}'");
  ExpectOnlyFile(FetchThroughProxy("/nothing.html"), "Extracted.mp4");
  EXPECT_NE(ReadFile(args).find("--proxy\n" + proxy_.Address() + "\n--\n"), std::string::npos)
      << ReadFile(args);
  EXPECT_EQ(Asked(), (std::vector<std::string>{"/clip.mp4", "/clip.mp4", "/nothing.html"}));
}

}  // namespace
}  // namespace tarnfetch_test
