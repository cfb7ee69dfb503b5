// The real tarnfetch on pages it cannot read itself, with a stand-in
// site extractor on PATH that answers like `yt-dlp -J`, and once with the
// real yt-dlp's generic extractor.
#include <atomic>
#include <map>
#include <mutex>
#include <set>

#include "TarnfetchHarness.h"
#include "support/ChildProcesses.h"

namespace tarnfetch_test {
namespace {

using namespace std::chrono_literals;

const std::string kFfmpeg = "/usr/bin/ffmpeg";
const std::string kFfprobe = "/usr/bin/ffprobe";
const std::string kClip = RandomBytes(40 << 10, 6);
const std::string kBig = RandomBytes(9 << 20, 8);  // large enough for parts

// Made once by the real ffmpeg: a picture without sound, a sound without
// picture, and a two-segment HLS stream; the stream and a sound-only one
// also by their paths under /picture/ and /sound/.
struct Media {
  TempDir dir;
  std::string video, audio, playlist, segment0, segment1;
  std::map<std::string, std::string> paired;
};
Media* media = nullptr;

std::string Probe(const fs::path& file) {
  const RunResult run = RunProgram({kFfprobe, "-v", "error", "-show_entries", "stream=codec_type",
                                    "-of", "csv=p=0", file.string()});
  return run.Text();
}

class TarnfetchSiteExtractor : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    media = new Media;
    const std::string d = media->dir.path();
    const std::vector<std::string> picture{"-f", "lavfi", "-i",   "testsrc=size=64x48:rate=10",
                                           "-t", "2",     "-c:v", "libx264"};
    const std::vector<std::string> sound{"-f", "lavfi", "-i",   "sine=frequency=440",
                                         "-t", "2",     "-c:a", "aac"};
    auto video = std::vector<std::string>{kFfmpeg, "-v", "error"};
    video.insert(video.end(), picture.begin(), picture.end());
    video.push_back(d + "/video.mp4");
    auto audio = std::vector<std::string>{kFfmpeg, "-v", "error"};
    audio.insert(audio.end(), sound.begin(), sound.end());
    audio.push_back(d + "/audio.m4a");
    auto hls = std::vector<std::string>{kFfmpeg, "-v", "error"};
    hls.insert(hls.end(), picture.begin(), picture.end());
    hls.insert(hls.end(), {"-g", "10", "-f", "hls", "-hls_time", "1", "-hls_playlist_type", "vod",
                           "-hls_segment_filename", d + "/s%d.ts", d + "/index.m3u8"});
    auto soundHls = std::vector<std::string>{kFfmpeg, "-v", "error"};
    soundHls.insert(soundHls.end(), sound.begin(), sound.end());
    soundHls.insert(soundHls.end(), {"-f", "hls", "-hls_time", "1", "-hls_playlist_type", "vod",
                                     "-hls_segment_filename", d + "/a%d.ts", d + "/sound.m3u8"});
    ASSERT_TRUE(RunProgram(video).exitCode == 0 && RunProgram(audio).exitCode == 0 &&
                RunProgram(hls).exitCode == 0 && RunProgram(soundHls).exitCode == 0)
        << "ffmpeg could not make the test media";
    for (const auto& [folder, playlist] :
         {std::pair{"/picture/", "index.m3u8"}, std::pair{"/sound/", "sound.m3u8"}}) {
      const std::string text = ReadFile(d + "/" + playlist);
      media->paired[std::string(folder) + "index.m3u8"] = text;
      std::istringstream lines(text);
      for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] != '#')
          media->paired[folder + line] = ReadFile(d + "/" + line);
      }
    }
    ASSERT_GE(media->paired.size(), 6u) << "two playlists of two segments or more";
    media->video = ReadFile(d + "/video.mp4");
    media->audio = ReadFile(d + "/audio.m4a");
    media->playlist = ReadFile(d + "/index.m3u8");
    media->segment0 = ReadFile(d + "/s0.ts");
    media->segment1 = ReadFile(d + "/s1.ts");
  }
  static void TearDownTestSuite() {
    delete media;
    media = nullptr;
  }

  void SetUp() override {
    auto& routes = server_.Routes();
    routes.Get("/nothing.html", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<html><head><title>Page title</title></head><body>no player</body></html>",
                      "text/html");
    });
    // Served only to the page the extractor names.
    routes.Get("/protected.mp4", [this](const httplib::Request& req, httplib::Response& res) {
      Record(req);
      if (req.get_header_value("Referer") != "https://site.example/watch?v=1" ||
          req.get_header_value("User-Agent") != "Stand-in Agent") {
        res.status = 403;
        return;
      }
      res.set_content(kClip, "video/mp4");
    });
    const auto serve = [this](const std::string& path, const std::string* body, const char* type) {
      server_.Routes().Get(
          path, [this, path, body, type](const httplib::Request& req, httplib::Response& res) {
            Record(req);
            res.set_content(*body, type);
          });
    };
    // The picture and the sound in 1 KiB chunks. A piece's first request in
    // a run is the look at it, a later one its fetch, which is logged when
    // it begins and when its last byte goes out.
    for (const char* path : {"/video.mp4", "/audio.m4a"}) {
      routes.Get(path, [this](const httplib::Request& req, httplib::Response& res) {
        const bool fetch = Record(req) > 1;
        const bool picture = req.path == "/video.mp4";
        const std::string& body = picture ? media->video : media->audio;
        if (fetch) Log("begins " + req.path);
        res.set_content_provider(
            body.size(), picture ? "video/mp4" : "audio/mp4",
            [this, &body, fetch, picture](std::size_t offset, std::size_t length,
                                          httplib::DataSink& sink) {
              const std::size_t half = body.size() / 2;
              const std::uintmax_t cutAt = cutSoundAt_;
              if (!picture && cutAt > 0 && offset >= half) {
                WaitUntil([&] { return !fetch || PartSize("Merged.mp4.video.part") >= cutAt; });
                return false;
              }
              std::size_t chunk = std::min<std::size_t>(length, 1 << 10);
              if (!picture && cutAt > 0) chunk = std::min(chunk, half - offset);
              const bool last = offset + chunk == body.size();
              if (fetch && last) {
                // pace_: until the other piece's fetch has begun.
                WaitUntil([&] {
                  return !(picture && holdPicture_) &&
                         !(pace_ && !Logged(picture ? "begins /audio.m4a" : "begins /video.mp4"));
                });
              }
              if (!sink.write(body.data() + offset, chunk)) return false;
              if (fetch && last) Log((picture ? "ends /video.mp4" : "ends /audio.m4a"));
              return true;
            });
      });
    }
    // The two HLS streams, each only with its own X-Piece header.
    routes.Get(R"(/(picture|sound)/.+)", [this](const httplib::Request& req,
                                                httplib::Response& res) {
      Record(req);
      const auto found = media->paired.find(req.path);
      if (found == media->paired.end() || req.get_header_value("X-Piece") != req.matches[1]) {
        res.status = found == media->paired.end() ? 404 : 403;
        return;
      }
      res.set_content(found->second,
                      EndsWith(req.path, ".m3u8") ? "application/vnd.apple.mpegurl" : "video/mp2t");
    });
    serve("/index.m3u8", &media->playlist, "application/vnd.apple.mpegurl");
    serve("/s0.ts", &media->segment0, "video/mp2t");
    serve("/s1.ts", &media->segment1, "video/mp2t");
    serve("/seen.mp4", &kClip, "video/mp4");
    // kBig with ranges, only with the extractor's Referer and Cookie. The
    // first run's parts stop at half-way and wait; served_ counts each
    // run's ranged bytes.
    routes.Get("/guarded.mp4", [this](const httplib::Request& req, httplib::Response& res) {
      if (req.get_header_value("Referer") != "https://site.example/watch?v=1" ||
          req.get_header_value("Cookie") != "session=abc") {
        res.status = 403;
        return;
      }
      const bool ranged = req.has_header("Range");
      ranged_ += ranged;
      const int run = run_;
      res.set_content_provider(
          kBig.size(), "video/mp4",
          [this, ranged, run](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            while (ranged && run == 0 && run_ == 0 && served_[0] >= kBig.size() / 2) {
              std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            const std::size_t chunk = std::min<std::size_t>(length, 64 << 10);
            if (!sink.write(kBig.data() + offset, chunk)) return false;
            if (ranged) served_[run] += chunk;
            return true;
          });
    });
    // Sends its asker to another origin (another host name, same server).
    routes.Get("/moved.mp4", [this](const httplib::Request& req, httplib::Response& res) {
      Record(req);
      std::string there = server_.Url("/seen.mp4");
      res.set_redirect(there.replace(there.find("127.0.0.1"), 9, "localhost"));
    });
    routes.Get("/half.mp4", [](const httplib::Request&, httplib::Response& res) {
      ServeHalfThenCut(res, kClip);
    });
    routes.Get("/clip.mp4", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(kClip, "video/mp4");
    });
    routes.Get("/flash.html", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content("<html><head><title>Old player</title></head><body><embed flashvars=\"file=" +
                          server_.Url("/clip.mp4") + "&autostart=true\"></body></html>",
                      "text/html");
    });
    fs::create_directories(bin());
  }

  void TearDown() override { run_ = 1; }  // no answer waits any longer

  // Returns how many requests for the path this run has made so far.
  std::size_t Record(const httplib::Request& req) {
    std::lock_guard lock(mutex_);
    requests_.push_back(req.path);
    for (const auto& [name, value] : req.headers) headers_.push_back(name + ": " + value);
    return static_cast<std::size_t>(std::count(requests_.begin(), requests_.end(), req.path));
  }
  // How many requests for `path`, and how many requests sent `header`.
  long Requested(const std::string& path) {
    std::lock_guard lock(mutex_);
    return std::count(requests_.begin(), requests_.end(), path);
  }
  long Sent(const std::string& header) {
    std::lock_guard lock(mutex_);
    return std::count(headers_.begin(), headers_.end(), header);
  }
  std::vector<std::string> SentHeaders() {
    std::lock_guard lock(mutex_);
    return headers_;
  }
  void ClearRecords() {
    std::lock_guard lock(mutex_);
    requests_.clear();
    headers_.clear();
    events_.clear();
  }
  void Log(const std::string& event) {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
  }
  bool Logged(const std::string& event) {
    std::lock_guard lock(mutex_);
    return std::find(events_.begin(), events_.end(), event) != events_.end();
  }
  // Holds an answer until `ready`, or until the test ends.
  void WaitUntil(const std::function<bool()>& ready) {
    while (!ready() && run_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::uintmax_t PartSize(const std::string& name) {
    std::error_code missing;
    const std::uintmax_t size = fs::file_size(out() / name, missing);
    return missing ? 0 : size;
  }

  // A stand-in yt-dlp: `script` is the body of a shell script; it gets
  // the arguments tarnfetch passes.
  void StandIn(const std::string& script) {
    const fs::path program = bin() / "yt-dlp";
    WriteFile(program, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + (temp_.Path() / "args").string() +
                           "\"\n" + script + "\n");
    fs::permissions(program, fs::perms::owner_all);
  }
  void Answer(const std::string& json) {
    WriteFile(temp_.Path() / "answer.json", json);
    StandIn("cat '" + (temp_.Path() / "answer.json").string() + "'");
  }

  // Runs with PATH holding the stand-in first; `path` replaces PATH's rest.
  RunResult Fetch(const std::string& page, const std::string& rest = std::getenv("PATH")) {
    const std::string saved = std::getenv("PATH");
    setenv("PATH", (bin().string() + ":" + rest).c_str(), 1);
    RunResult run = RunTarnfetch({server_.Url(page), "-p", (out() / "%(title)s.%(ext)s").string()});
    setenv("PATH", saved.c_str(), 1);
    return run;
  }

  fs::path bin() const { return temp_.Path() / "bin"; }
  fs::path out() const { return temp_.Path() / "out"; }

  TempFolder temp_;
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::vector<std::string> headers_;
  std::vector<std::string> events_;
  std::atomic<int> run_{0};
  std::atomic<std::size_t> served_[2] = {0, 0};
  std::atomic<int> ranged_{0};
  // Not 0: the sound breaks off half-way once the picture's piece holds
  // this many bytes.
  std::atomic<std::uintmax_t> cutSoundAt_{0};
  std::atomic<bool> pace_{false};
  std::atomic<bool> holdPicture_{false};
  // Last, so that it is stopped first: its handlers use the members above.
  LoopbackServer server_;
};

TEST_F(TarnfetchSiteExtractor, TheExtractorsChoiceIsFetchedWithItsHeaders) {
  Answer(R"({"title": "Protected clip", "url": ")" + server_.Url("/protected.mp4") +
         R"(", "ext": "mp4", "protocol": "https", "formats": [{"url": "file:///etc/passwd"}],
            "http_headers": {"Referer": "https://site.example/watch?v=1",
                             "User-Agent": "Stand-in Agent"}})");
  const RunResult run = Fetch("/nothing.html");
  ASSERT_EQ(run.exitCode, 0) << run.Text();
  ExpectWellFormedOutput(run);
  EXPECT_EQ(run.Starting("<title>"), std::vector<std::string>{"<title>Protected clip</title>"});
  EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"Protected clip.mp4"});
  EXPECT_TRUE(ReadFile(out() / "Protected clip.mp4") == kClip);
  // Only formats tarnfetch can fetch: direct files first, then HLS.
  EXPECT_EQ(ReadFile(temp_.Path() / "args"),
            "--no-config\n--no-playlist\n--flat-playlist\n--no-warnings\n-f\n"
            "bv*[protocol^=http][protocol!*=dash]+ba[protocol^=http][protocol!*=dash]"
            "/b[protocol^=http][protocol!*=dash]"
            "/bv*[protocol^=m3u8]+ba[protocol^=m3u8]/b[protocol^=m3u8]"
            "/bv*[protocol=http_dash_segments]+ba[protocol=http_dash_segments]"
            "/b[protocol=http_dash_segments]\n-J\n--\n" +
                server_.Url("/nothing.html") + "\n");
}

TEST_F(TarnfetchSiteExtractor, ALargeAddressComesInPartsWithItsHeadersAndAKilledRunContinues) {
  Answer(R"({"title": "Guarded", "url": ")" + server_.Url("/guarded.mp4") +
         R"(", "ext": "mp4", "protocol": "https",
            "http_headers": {"Referer": "https://site.example/watch?v=1",
                             "Cookie": "session=abc"}})");
  const fs::path control = out() / "Guarded.mp4.part.ctl";
  const std::string path = std::getenv("PATH");
  setenv("PATH", (bin().string() + ":" + path).c_str(), 1);
  // Killed once all it received half-way is recorded.
  const bool killed = KillTarnfetchWhen(
      {server_.Url("/nothing.html"), "-p", (out() / "%(title)s.%(ext)s").string()}, [&] {
        const std::size_t served = served_[0];
        return served >= kBig.size() / 2 && RecordedBytes(control) == served;
      });
  setenv("PATH", path.c_str(), 1);
  run_ = 1;
  ASSERT_TRUE(killed);
  const std::uint64_t recorded = RecordedBytes(control);
  EXPECT_GE(ranged_, 4) << "several connections";

  const RunResult run = Fetch("/nothing.html");
  ASSERT_EQ(run.exitCode, 0) << run.Text();
  ExpectWellFormedOutput(run);
  EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"Guarded.mp4"});
  EXPECT_TRUE(ReadFile(out() / "Guarded.mp4") == kBig);
  EXPECT_EQ(served_[1], kBig.size() - recorded) << "only the missing bytes again";
}

TEST_F(TarnfetchSiteExtractor, ASingleAddressThatIsNotTheWholeVideoIsAnError) {
  struct Case {
    const char* path;
    const char* words;    // in the ERROR line
    std::uintmax_t kept;  // bytes left in the ".part" for a later run
  };
  for (const Case& c :
       {Case{"/half.mp4", "broke before the download was complete", kClip.size() / 2},
        Case{"/nothing.html", "leads to a web page", 0}}) {
    SCOPED_TRACE(c.path);
    fs::remove_all(out());
    Answer(R"({"title": "Cut", "url": ")" + server_.Url(c.path) + R"(", "ext": "mp4"})");
    const RunResult run = Fetch("/nothing.html");
    ExpectFailure(run, out());
    ASSERT_EQ(run.Starting("ERROR: ").size(), 1u);
    EXPECT_NE(run.Starting("ERROR: ")[0].find(c.words), std::string::npos) << run.Text();
    const fs::path part = out() / "Cut.mp4.part";
    EXPECT_EQ(fs::exists(part) ? fs::file_size(part) : 0, c.kept);
  }
}

TEST_F(TarnfetchSiteExtractor, TheExtractorsCookieNeverFollowsARedirectToAnotherOrigin) {
  Answer(R"({"title": "Moved", "url": ")" + server_.Url("/moved.mp4") +
         R"(", "ext": "mp4", "http_headers": {"Cookie": "session=abc", "X-Site": "kept"}})");
  const RunResult run = Fetch("/nothing.html");
  ASSERT_EQ(run.exitCode, 0) << run.Text();
  EXPECT_TRUE(ReadFile(out() / "Moved.mp4") == kClip);
  EXPECT_EQ(Requested("/seen.mp4"), 2) << "looked, fetched";
  EXPECT_EQ(Sent("Cookie: session=abc"), 2) << "moved only";
  EXPECT_EQ(Sent("X-Site: kept"), 4) << "the rest go on";
}

TEST_F(TarnfetchSiteExtractor, AnHlsFormatGoesThroughTheStreamPath) {
  // Named a stream, or found to be one by the first look at it.
  for (const char* protocol : {"m3u8_native", "https"}) {
    SCOPED_TRACE(protocol);
    fs::remove_all(out());
    ClearRecords();
    Answer(R"({"title": "A stream", "url": ")" + server_.Url("/index.m3u8") +
           R"(", "ext": "mp4", "protocol": ")" + protocol + R"("})");
    const RunResult run = Fetch("/nothing.html");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    ExpectWellFormedOutput(run);
    EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"A stream.mp4"});
    EXPECT_EQ(Probe(out() / "A stream.mp4"), "video\n");
    EXPECT_EQ(Requested("/s1.ts"), 1);
  }
}

TEST_F(TarnfetchSiteExtractor, SeparatePictureAndSoundBecomeOneFile) {
  Answer(R"({"title": "Merged", "requested_formats": [
      {"url": ")" +
         server_.Url("/video.mp4") + R"(", "ext": "mp4", "protocol": "http",
       "vcodec": "avc1.64000d", "acodec": "none", "filesize": )" +
         std::to_string(media->video.size()) + R"(},
      {"url": ")" +
         server_.Url("/audio.m4a") + R"(", "ext": "m4a", "protocol": "http",
       "vcodec": "none", "acodec": "mp4a.40.2", "filesize": )" +
         std::to_string(media->audio.size()) + R"(}]})");
  // The sound breaks off: the picture and the half of the sound stay.
  cutSoundAt_ = media->video.size();
  ExpectFailure(Fetch("/nothing.html"), out());
  ASSERT_EQ(fs::file_size(out() / "Merged.mp4.video.part"), media->video.size());
  cutSoundAt_ = 0;
  ClearRecords();

  const RunResult run = Fetch("/nothing.html");
  ASSERT_EQ(run.exitCode, 0) << run.Text();
  ExpectWellFormedOutput(run);
  EXPECT_EQ(Requested("/video.mp4"), 1) << "only looked at";
  const std::string rest = "Range: bytes=" + std::to_string(media->audio.size() / 2) + "-";
  EXPECT_EQ(Sent(rest), 1) << "the rest of the sound";
  EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"Merged.mp4"}) << "no pieces left";
  EXPECT_EQ(Probe(out() / "Merged.mp4"), "video\naudio\n");
  EXPECT_EQ(run.Text().find("100.0%"), run.Text().rfind("100.0%")) << "one progress line";
  EXPECT_EQ(run.lines.back().rfind("<speed> 100.0% of ", 0), 0u) << run.Text();
  // The first line already counts the picture and the half of the sound.
  const std::vector<std::string> lines = run.Starting("<speed> ");
  ASSERT_GE(lines.size(), 2u) << run.Text();
  const std::size_t whole = media->video.size() + media->audio.size();
  const std::size_t there = media->video.size() + media->audio.size() / 2;
  EXPECT_GE(std::stod(lines[0].substr(8)) * 10 + 0.5, static_cast<double>(there * 1000 / whole))
      << lines[0];
}

TEST_F(TarnfetchSiteExtractor, SeparatePictureAndSoundAreFetchedAtOnce) {
  const auto format = [this](const std::string& path, const char* protocol, bool picture) {
    return R"({"url": ")" + server_.Url(path) + R"(", "protocol": ")" + protocol +
           R"(", "ext": "mp4", "vcodec": ")" + (picture ? "avc1.64000d" : "none") +
           R"(", "acodec": ")" + (picture ? "none" : "mp4a.40.2") +
           R"(", "http_headers": {"X-Piece": ")" + (picture ? "picture" : "sound") + R"("}})";
  };
  struct Case {
    const char* name;
    std::string picture, sound;  // the requested formats
    const char* error;           // words of the ERROR line; none: one joined file
  };
  const std::vector<Case> cases{
      // The server ends neither piece before the other has begun.
      {"two files", format("/video.mp4", "https", true), format("/audio.m4a", "https", false),
       nullptr},
      // The picture comes no further than its last chunk.
      {"the sound breaks off while the picture waits", format("/video.mp4", "https", true),
       format("/audio.m4a", "https", false), "broke before the download was complete"},
      {"two streams", format("/picture/index.m3u8", "m3u8_native", true),
       format("/sound/index.m3u8", "m3u8_native", false), nullptr},
      {"two streams found by the look at them", format("/picture/index.m3u8", "https", true),
       format("/sound/index.m3u8", "https", false), nullptr},
      {"a stream and a file", format("/picture/index.m3u8", "m3u8_native", true),
       format("/audio.m4a", "https", false), "a stream for one of picture and sound"},
      // Its parts wait half-way until the test ends: last.
      {"the sound breaks off while a large picture comes in parts",
       R"({"url": ")" + server_.Url("/guarded.mp4") +
           R"(", "vcodec": "avc1.64000d", "acodec": "none", "http_headers":
              {"Referer": "https://site.example/watch?v=1", "Cookie": "session=abc"}})",
       format("/half.mp4", "https", false), "broke before the download was complete"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(out());
    ClearRecords();
    Answer(R"({"title": "Merged", "requested_formats": [)" + c.picture + ", " + c.sound + "]}");
    const bool paced = c.sound.find("/audio.m4a") != std::string::npos && !c.error;
    const bool held = c.error && c.picture.find("/video.mp4") != std::string::npos;
    pace_ = paced;
    holdPicture_ = held;
    cutSoundAt_ = held ? 1 : 0;
    const RunResult run = Fetch("/nothing.html");
    pace_ = holdPicture_ = false;
    cutSoundAt_ = 0;
    if (c.error) {
      ExpectFailure(run, out());
      ASSERT_EQ(run.Starting("ERROR: ").size(), 1u);
      EXPECT_NE(run.Starting("ERROR: ")[0].find(c.error), std::string::npos) << run.Text();
      if (held) {
        // The picture stopped where it waited, kept with the sound's half.
        EXPECT_GT(PartSize("Merged.mp4.video.part"), 0u);
        EXPECT_LT(PartSize("Merged.mp4.video.part"), media->video.size());
        EXPECT_EQ(PartSize("Merged.mp4.audio.part"), media->audio.size() / 2);
      }
      continue;
    }
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    ExpectWellFormedOutput(run);
    EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"Merged.mp4"}) << "no pieces left";
    EXPECT_EQ(Probe(out() / "Merged.mp4"), "video\naudio\n");
    EXPECT_EQ(run.Text().find("100.0%"), run.Text().rfind("100.0%")) << "one progress line";
    EXPECT_EQ(run.lines.back().rfind("<speed> 100.0% of ", 0), 0u) << run.Text();
    if (paced) {
      std::unique_lock lock(mutex_);
      const std::vector<std::string> events = events_;
      lock.unlock();
      ASSERT_EQ(events.size(), 4u);
      EXPECT_EQ(std::set<std::string>(events.begin(), events.begin() + 2),
                (std::set<std::string>{"begins /audio.m4a", "begins /video.mp4"}))
          << "both began before either ended";
    }
  }
}

TEST_F(TarnfetchSiteExtractor, FailuresAndHostileAnswersEndInOneErrorLine) {
  const std::string media = server_.Url("/protected.mp4");
  struct Case {
    const char* name;
    std::string script;  // the stand-in's body
    const char* words;   // in the ERROR line
  };
  const std::vector<Case> cases{
      {"the extractor fails",
       "echo 'WARNING: something' >&2; echo 'ERROR: [generic] Unsupported URL: x' >&2; exit 1",
       "Unsupported URL: x"},
      {"a file address",
       R"(printf '%s' '{"title": "t", "url": "file:///etc/passwd", "protocol": "file"}')",
       "not http or https"},
      {"a header with a line break",
       R"(printf '%s' '{"title": "t", "url": ")" + media +
           R"(", "http_headers": {"Referer": "a\r\nX-Injected: 1"}}')",
       "line break"},
      {"100 MB of answer", "head -c 104857600 /dev/zero", "larger than 64 MiB"},
      {"not JSON", "echo 'Traceback (most recent call last):'", "could not be read"},
      {"an extractor that allocates without end",
       "exec python3 -c 'x = []\nwhile True: x.append(bytearray(1 << 24))'",
       "more than the 1024 MiB of memory it may use"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StandIn(c.script);
    const RunResult run = Fetch("/nothing.html");
    ExpectFailure(run, out());
    ASSERT_EQ(run.Starting("ERROR: ").size(), 1u);
    EXPECT_NE(run.Starting("ERROR: ")[0].find(c.words), std::string::npos) << run.Text();
  }
  EXPECT_FALSE(fs::exists(out()));
  EXPECT_EQ(Requested("/protected.mp4"), 0);
  const std::vector<std::string> headers = SentHeaders();
  EXPECT_TRUE(std::none_of(headers.begin(), headers.end(), [](const std::string& header) {
    return header.find("Injected") != std::string::npos;
  }));
}

TEST_F(TarnfetchSiteExtractor, WithoutTheExtractorTheErrorSaysWhatToInstall) {
  fs::remove_all(bin());
  const RunResult run = Fetch("/nothing.html", "/nonexistent");
  ExpectFailure(run, out());
  ASSERT_EQ(run.Starting("ERROR: ").size(), 1u);
  EXPECT_NE(run.Starting("ERROR: ")[0].find("No video was found"), std::string::npos);
  EXPECT_NE(run.Starting("ERROR: ")[0].find("Installing yt-dlp"), std::string::npos);
}

// Quillmarsh's Stop ends tarnfetch's process group: the extractor and what
// it started end with it.
TEST_F(TarnfetchSiteExtractor, StopEndsTheExtractorAndWhatItStarted) {
  const fs::path extractorPid = temp_.Path() / "extractor.pid";
  const fs::path childPid = temp_.Path() / "child.pid";
  StandIn("echo $$ > '" + extractorPid.string() + "'; sleep 300 & echo $! > '" + childPid.string() +
          "'; wait");
  const std::string saved = std::getenv("PATH");
  setenv("PATH", (bin().string() + ":" + saved).c_str(), 1);
  ConsoleProcess tarnfetch;
  const bool started = tarnfetch.Start(
      {kTarnfetch, server_.Url("/nothing.html"), "-p", (out() / "%(title)s.%(ext)s").string()},
      ConsoleProcess::Stdin::Null);
  setenv("PATH", saved.c_str(), 1);
  ASSERT_TRUE(started);
  const auto ready = [&] { return ReadFile(childPid).size() > 1; };
  for (int i = 0; i < 2000 && !ready(); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(ready()) << "the stand-in never started its child";
  const int pids[] = {std::stoi(ReadFile(extractorPid)), std::stoi(ReadFile(childPid))};
  tarnfetch.Terminate();
  const auto alive = [&] {
    return std::any_of(std::begin(pids), std::end(pids), [](int pid) { return IsRunning(pid); });
  };
  for (int i = 0; i < 500 && alive(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(alive()) << "still running 5 s after Stop";
}

TEST_F(TarnfetchSiteExtractor, TheRealExtractorReadsWhatThePageReaderCannot) {
  if (!fs::exists("/usr/bin/yt-dlp")) GTEST_SKIP() << "yt-dlp is not installed";
  fs::remove_all(bin());
  const RunResult run = Fetch("/flash.html");
  ASSERT_EQ(run.exitCode, 0) << run.Text();
  ExpectWellFormedOutput(run);
  EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"Old player.mp4"});
  EXPECT_TRUE(ReadFile(out() / "Old player.mp4") == kClip);
}

}  // namespace
}  // namespace tarnfetch_test
