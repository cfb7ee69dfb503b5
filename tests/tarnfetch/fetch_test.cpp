// The real tarnfetch against a loopback server: direct files, pages,
// redirects, resuming, skipping and failures.
#include <atomic>

#include "download/MediaDownload.h"
#include "support/TarnfetchTest.h"

namespace tarnfetch_test {
namespace {

// Begins as a Matroska file does, so that its first bytes say it is media.
const std::string kClip = "\x1A\x45\xDF\xA3" + RandomBytes((1 << 20) - 4, 1);

class TarnfetchFetch : public TarnfetchTest {
 protected:
  void SetUp() override {
    auto& routes = Routes();
    // 1 MiB over about 0.8 s, so that progress lines are throttled.
    routes.Get("/media/clip.mp4", [](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(kClip.size(), "video/mp4",
                               [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                 std::this_thread::sleep_for(std::chrono::milliseconds(100));
                                 sink.write(kClip.data() + offset,
                                            std::min<std::size_t>(length, 128 << 10));
                                 return true;
                               });
    });
    // Only the page's <source type> or the first bytes tell.
    Serve("/stream/1", kClip, "application/octet-stream");
    Serve("/text/clip.webm", kClip, "text/plain");
    Serve("/typed.html",
          "<title>Typed</title><video><source src=/stream/1 type=video/mp4></video>");
    Serve("/rtmp.html",
          "<script>jwplayer('p').setup({file: 'rtmp://fms.test/vod/mp4:a.mp4'})</script>");
    // Compressed, with stray bytes after the compressed page.
    packedPage_ = Gzip("<title>Packed</title><video src=\"/media/fast.webm\"></video>");
    routes.Get("/packed.html", [this](const httplib::Request&, httplib::Response& res) {
      res.set_header("Content-Encoding", "gzip");
      res.set_content(packedPage_ + "\r\n\r\n", "text/html");
    });
    routes.Get("/watch.html", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(
          "<html><head><meta property=\"og:title\" content=\"Tom &amp; Jerry&#39;s "
          "&quot;Show&quot;\">"
          "<META PROPERTY='og:video' CONTENT='" +
              Url("/embed.html") +
              "'></head>"
              "<body><video controls><source src=\"media/fast.webm\" type=\"video/webm\"></video>"
              "</body></html>",
          "text/html; charset=utf-8");
    });
    routes.Get("/old", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("/media/fast.webm");
    });
    routes.Get("/truncated.mp4", [](const httplib::Request&, httplib::Response& res) {
      ServeHalfThenCut(res, kClip);
    });
    // Cut half-way while cut_ is set, the run's retries too; afterwards
    // served whole, Range included.
    routes.Get("/resume.mp4", [this](const httplib::Request&, httplib::Response& res) {
      if (cut_) return ServeHalfThenCut(res, kClip);
      res.set_content(kClip, "video/mp4");
    });
    // Answers a Range with 206 but sends the whole file from byte 0, and
    // says so in Content-Range. (Chunked, so that the server library does
    // not cut the body to the range itself.)
    routes.Get("/badrange.mp4", [](const httplib::Request& req, httplib::Response& res) {
      if (req.has_header("Range")) {
        res.status = 206;
        res.set_header("Content-Range", "bytes 0-" + std::to_string(kClip.size() - 1) + "/" +
                                            std::to_string(kClip.size()));
      }
      ServeChunked(res, kClip);
    });
    // Chunked, so without a length and always from the start.
    routes.Get("/chunked.mp4",
               [](const httplib::Request&, httplib::Response& res) { ServeChunked(res, kClip); });
    Serve("/media/fast.webm", kClip, "video/webm");
    // Servers that say nothing useful of the type: the extension tells.
    Serve("/bin/movie.mp4", kClip, "application/octet-stream");
    Serve("/embed.html", "<html><body>player</body></html>");
    Serve("/ld.html",
          "<html><head><title>\n  Lecture\n  One  </title><script type=\"application/ld+json\">"
          "{\"@type\":\"VideoObject\",\"contentUrl\":\"\\/media\\/fast.webm\"}</script></head>"
          "</html>");
    Serve("/nomedia.html", "<html><head><title>Nothing here</title></head></html>");
  }

  // A page compressed by the real gzip.
  std::string Gzip(const std::string& text) const {
    const fs::path file = temp() / "page.html";
    std::ofstream(file, std::ios::binary) << text;
    EXPECT_EQ(RunProgram({"/bin/gzip", "-n", file.string()}).exitCode, 0);
    return ReadFile(file.string() + ".gz");
  }

  std::atomic<bool> cut_{true};
  std::string packedPage_;
};

TEST_F(TarnfetchFetch, DirectFileArrivesWithMarkersInOrderAndThrottledProgress) {
  const auto started = std::chrono::steady_clock::now();
  const RunResult run = Fetch("/media/clip.mp4");
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;

  ExpectOnlyFile(run, "clip.mp4");
  ASSERT_GE(run.lines.size(), 5u) << run.Text();
  EXPECT_EQ(run.lines[0], "<Go>");
  EXPECT_EQ(run.lines[1], "<title>clip</title>");
  EXPECT_EQ(run.lines[2], "<filename>" + (out() / "clip.mp4").string() + "</filename>");
  const auto progress = run.Starting("<speed>");
  EXPECT_EQ(progress.size(), run.lines.size() - 3) << run.Text();
  EXPECT_GE(progress.size(), 3u) << "expected progress during a 0.8 s transfer";
  EXPECT_LE(progress.size(), static_cast<std::size_t>(took.count() * 4) + 2) << run.Text();
  EXPECT_EQ(run.lines.back().rfind("<speed> 100.0% of 1.0MiB at ", 0), 0u) << run.lines.back();
  EXPECT_TRUE(ReadFile(out() / "clip.mp4") == kClip);
}

TEST_F(TarnfetchFetch, PagesAndRedirectsLeadToTheirMedia) {
  struct Case {
    const char* path;
    const char* title;  // as printed
    const char* file;
  };
  // /watch.html: og:video names an HTML player, so the relative <source>
  // is the media; /ld.html: only JSON-LD with escaped slashes.
  for (const Case& c :
       {Case{"/watch.html", "Tom & Jerry's \"Show\"", "Tom & Jerry's \"Show\".webm"},
        Case{"/ld.html", "Lecture One", "Lecture One.webm"}, Case{"/old", "fast", "fast.webm"},
        Case{"/bin/movie.mp4", "movie", "movie.mp4"}, Case{"/typed.html", "Typed", "Typed.mp4"},
        Case{"/text/clip.webm", "clip", "clip.webm"},
        Case{"/packed.html", "Packed", "Packed.webm"}}) {
    SCOPED_TRACE(c.path);
    const RunResult run = Fetch(c.path);
    ASSERT_NO_FATAL_FAILURE(ExpectSuccess(run));
    EXPECT_EQ(TagValue(run, Marker::Title), c.title);
    EXPECT_TRUE(ReadFile(out() / c.file) == kClip);
    EXPECT_FALSE(fs::exists(out() / (std::string(c.file) + ".part")));
  }
}

TEST_F(TarnfetchFetch, InterruptedDownloadResumesWithRangeToAnIdenticalFile) {
  ExpectFailure(Fetch("/resume.mp4"), out());
  const auto partSize = fs::file_size(out() / "resume.mp4.part");
  EXPECT_GT(partSize, 0u);
  EXPECT_LT(partSize, kClip.size());

  cut_ = false;
  ForgetRequests();  // the first run's own retries
  ExpectSuccess(Fetch("/resume.mp4"));
  const auto compared = std::min<std::uint64_t>(partSize, tarnfetch::MediaDownload::kComparedBytes);
  EXPECT_EQ(SentValues("Range"),
            (std::vector<std::string>{"bytes=0-" + std::to_string(compared - 1),
                                      "bytes=" + std::to_string(partSize) + "-"}));
  EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"resume.mp4"});
  EXPECT_TRUE(ReadFile(out() / "resume.mp4") == kClip);
}

TEST_F(TarnfetchFetch, AnAnswerThatDoesNotContinueThePartFileStartsItAgain) {
  fs::create_directories(out());
  // A 200 without a length, and a 206 from the wrong offset.
  for (const std::string name : {"chunked.mp4", "badrange.mp4"}) {
    SCOPED_TRACE(name);
    WriteFile(out() / (name + ".part"), "stale bytes from another file");
    const RunResult run = Fetch("/" + name);
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_FALSE(fs::exists(out() / (name + ".part")));
    EXPECT_TRUE(ReadFile(out() / name) == kClip);
  }
}

TEST_F(TarnfetchFetch, CompleteFileIsSkippedAndLeftAlone) {
  fs::create_directories(out());
  WriteFile(out() / "fast.webm", kClip);
  const auto before = fs::last_write_time(out() / "fast.webm");
  const RunResult run = Fetch("/media/fast.webm");
  ExpectSuccess(run);
  EXPECT_EQ(run.Starting("<skip>"),
            std::vector<std::string>{"<skip>" + (out() / "fast.webm").string() + "</skip>"});
  EXPECT_TRUE(run.Starting("<filename>").empty());
  EXPECT_TRUE(run.Starting("<speed>").empty());
  EXPECT_EQ(fs::last_write_time(out() / "fast.webm"), before);
  EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"fast.webm"});
}

TEST_F(TarnfetchFetch, FailuresSayWhatWentWrongAndLeaveNoFinalFile) {
  for (const auto& [path, words] :
       {std::pair{"/missing.mp4", "404"}, std::pair{"/truncated.mp4", "connection broke"},
        std::pair{"/nomedia.html", "No video was found"},
        std::pair{"/rtmp.html",
                  "The page names only an RTMP stream, which cannot be downloaded: "
                  "rtmp://fms.test/vod/mp4:a.mp4"}}) {
    SCOPED_TRACE(path);
    ExpectFailure(Fetch(path), out(), words);
  }
}

}  // namespace
}  // namespace tarnfetch_test
