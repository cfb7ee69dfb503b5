// The real tarnfetch on pages it cannot read itself, with a stand-in
// site extractor on PATH that answers like `yt-dlp -J`, and once with the
// real yt-dlp's generic extractor.
#include <atomic>
#include <map>
#include <mutex>
#include <set>

#include "download/MediaDownload.h"
#include "platform/ConsoleProcess.h"
#include "support/ChildProcesses.h"
#include "support/TarnfetchTest.h"
#include "support/TestMedia.h"

namespace tarnfetch_test {
namespace {

using namespace std::chrono_literals;

const std::string kClip = RandomBytes(40 << 10, 6);
const std::string kBig = RandomBytes(9 << 20, 8);  // large enough for parts

// Made once by the real ffmpeg: a picture without sound, a sound without
// picture, and a two-segment HLS stream; the stream and a sound-only one
// also by their paths under /picture/ and /sound/.
struct Media {
  Media() {
    const std::string d = dir.path();
    if (!MakeClip({.sound = false}, {d + "/video.mp4"}) ||
        !MakeClip({.picture = false}, {d + "/audio.m4a"}) ||
        !MakeClip({.sound = false}, HlsOutput(d, "index", 1, "s%d.ts")) ||
        !MakeClip({.picture = false}, HlsOutput(d, "sound", 1, "a%d.ts"))) {
      return;
    }
    for (const auto& [folder, playlist] :
         {std::pair{"/picture/", "index.m3u8"}, std::pair{"/sound/", "sound.m3u8"}}) {
      const HlsFiles files = ReadHls(d + "/" + playlist);
      paired[std::string(folder) + "index.m3u8"] = files.playlist;
      for (const auto& [name, bytes] : files.segments) paired[folder + name] = bytes;
    }
    video = ReadFile(d + "/video.mp4");
    audio = ReadFile(d + "/audio.m4a");
  }
  TempDir dir;
  std::string video, audio;
  std::map<std::string, std::string> paired;
};

const Media& media() {
  static const Media made;
  return made;
}

std::string Probe(const fs::path& file) {
  return Ffprobe(file, "stream=codec_type");
}

class TarnfetchSiteExtractor : public TarnfetchTest {
 protected:
  void SetUp() override {
    ASSERT_GE(media().paired.size(), 6u) << "two playlists of two segments or more";
    auto& routes = Routes();
    // Served only to the page the extractor names.
    routes.Get("/protected.mp4", [](const httplib::Request& req, httplib::Response& res) {
      if (req.get_header_value("Referer") != "https://site.example/watch?v=1" ||
          req.get_header_value("User-Agent") != "Stand-in Agent") {
        return void(res.status = 403);
      }
      res.set_content(kClip, "video/mp4");
    });
    // The picture and the sound in 1 KiB chunks. A piece's first request in
    // a run is the look at it, a later one its fetch, which is logged when
    // it begins and when its last byte goes out.
    for (const char* path : {"/video.mp4", "/audio.m4a"}) {
      routes.Get(path, [this](const httplib::Request& req, httplib::Response& res) {
        const bool fetch = Count(req.path) > 1;
        const bool picture = req.path == "/video.mp4";
        const std::string& body = picture ? media().video : media().audio;
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
    routes.Get(R"(/(picture|sound)/.+)", [](const httplib::Request& req, httplib::Response& res) {
      const auto found = media().paired.find(req.path);
      if (found == media().paired.end() || req.get_header_value("X-Piece") != req.matches[1]) {
        return void(res.status = found == media().paired.end() ? 404 : 403);
      }
      res.set_content(found->second,
                      EndsWith(req.path, ".m3u8") ? "application/vnd.apple.mpegurl" : "video/mp2t");
    });
    // kBig with ranges, only with the extractor's Referer and Cookie. The
    // first run's parts stop at half-way and wait; served_ counts each
    // run's ranged bytes.
    routes.Get("/guarded.mp4", [this](const httplib::Request& req, httplib::Response& res) {
      if (req.get_header_value("Referer") != "https://site.example/watch?v=1" ||
          req.get_header_value("Cookie") != "session=abc") {
        return void(res.status = 403);
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
    routes.Get("/moved.mp4", [this](const httplib::Request&, httplib::Response& res) {
      res.set_redirect(Url("/seen.mp4").replace(7, 9, "localhost"));
    });
    routes.Get("/half.mp4", [](const httplib::Request&, httplib::Response& res) {
      ServeHalfThenCut(res, kClip);
    });
    Serve("/nothing.html",
          "<html><head><title>Page title</title></head><body>no player</body></html>");
    Serve("/index.m3u8", media().paired.at("/picture/index.m3u8"));
    Serve("/s0.ts", media().paired.at("/picture/s0.ts"));
    Serve("/s1.ts", media().paired.at("/picture/s1.ts"));
    Serve("/seen.mp4", kClip);
    Serve("/clip.mp4", kClip);
    Serve("/flash.html",
          "<html><head><title>Old player</title></head><body><embed flashvars=\"file=" +
              Url("/clip.mp4") + "&autostart=true\"></body></html>");
  }

  void TearDown() override {
    run_ = 1;  // no answer waits any longer
    TarnfetchTest::TearDown();
  }

  void ClearRecords() {
    ForgetRequests();
    std::lock_guard lock(mutex_);
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
  // the arguments tarnfetch passes and notes them.
  void StandIn(const std::string& script) {
    programs_.Script("yt-dlp",
                     "printf '%s\\n' \"$@\" > \"" + (temp() / "args").string() + "\"\n" + script);
  }
  void Answer(const std::string& json) { StandIn(programs_.Cat("answer.json", json)); }

  StandInPrograms programs_;
  std::mutex mutex_;
  std::vector<std::string> events_;
  std::atomic<int> run_{0};
  std::atomic<std::size_t> served_[2] = {0, 0};
  std::atomic<int> ranged_{0};
  // Not 0: the sound breaks off half-way once the picture's piece holds
  // this many bytes.
  std::atomic<std::uintmax_t> cutSoundAt_{0};
  std::atomic<bool> pace_{false};
  std::atomic<bool> holdPicture_{false};
};

TEST_F(TarnfetchSiteExtractor, TheExtractorsChoiceIsFetchedWithItsHeaders) {
  Answer(R"({"title": "Protected clip", "url": ")" + Url("/protected.mp4") +
         R"(", "ext": "mp4", "protocol": "https", "formats": [{"url": "file:///etc/passwd"}],
            "http_headers": {"Referer": "https://site.example/watch?v=1",
                             "User-Agent": "Stand-in Agent"}})");
  const RunResult run = Fetch("/nothing.html");
  ASSERT_NO_FATAL_FAILURE(ExpectSuccess(run));
  EXPECT_EQ(run.Starting("<title>"), std::vector<std::string>{"<title>Protected clip</title>"});
  EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"Protected clip.mp4"});
  EXPECT_TRUE(ReadFile(out() / "Protected clip.mp4") == kClip);
  // Only formats tarnfetch can fetch: direct files first, then HLS.
  EXPECT_EQ(ReadFile(temp() / "args"),
            "--no-config\n--no-playlist\n--flat-playlist\n--no-warnings\n-f\n"
            "bv*[protocol^=http][protocol!*=dash]+ba[protocol^=http][protocol!*=dash]"
            "/b[protocol^=http][protocol!*=dash]"
            "/bv*[protocol^=m3u8]+ba[protocol^=m3u8]/b[protocol^=m3u8]"
            "/bv*[protocol=http_dash_segments]+ba[protocol=http_dash_segments]"
            "/b[protocol=http_dash_segments]\n-J\n--\n" +
                Url("/nothing.html") + "\n");
}

TEST_F(TarnfetchSiteExtractor, ALargeAddressComesInPartsWithItsHeadersAndAKilledRunContinues) {
  Answer(R"({"title": "Guarded", "url": ")" + Url("/guarded.mp4") +
         R"(", "ext": "mp4", "protocol": "https",
            "http_headers": {"Referer": "https://site.example/watch?v=1",
                             "Cookie": "session=abc"}})");
  const fs::path control = out() / "Guarded.mp4.part.ctl";
  // Killed once all it received half-way is recorded.
  const bool killed = KillWhen("/nothing.html", [&] {
    const std::size_t served = served_[0];
    return served >= kBig.size() / 2 && RecordedBytes(control) == served;
  });
  run_ = 1;
  ASSERT_TRUE(killed);
  const std::uint64_t recorded = RecordedBytes(control);
  EXPECT_GE(ranged_, 4) << "several connections";

  const RunResult run = Fetch("/nothing.html");
  ASSERT_NO_FATAL_FAILURE(ExpectSuccess(run));
  EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"Guarded.mp4"});
  EXPECT_TRUE(ReadFile(out() / "Guarded.mp4") == kBig);
  EXPECT_EQ(served_[1], kBig.size() - recorded + tarnfetch::MediaDownload::kComparedBytes)
      << "only the missing bytes again, and the first ones compared";
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
    Answer(R"({"title": "Cut", "url": ")" + Url(c.path) + R"(", "ext": "mp4"})");
    const RunResult run = Fetch("/nothing.html");
    ExpectFailure(run, out(), c.words);
    const fs::path part = out() / "Cut.mp4.part";
    EXPECT_EQ(fs::exists(part) ? fs::file_size(part) : 0, c.kept);
  }
}

TEST_F(TarnfetchSiteExtractor, TheExtractorsCookieNeverFollowsARedirectToAnotherOrigin) {
  Answer(R"({"title": "Moved", "url": ")" + Url("/moved.mp4") +
         R"(", "ext": "mp4", "http_headers": {"Cookie": "session=abc", "X-Site": "kept"}})");
  const RunResult run = Fetch("/nothing.html");
  ASSERT_EQ(run.exitCode, 0) << run.Text();
  EXPECT_TRUE(ReadFile(out() / "Moved.mp4") == kClip);
  EXPECT_EQ(Count("/seen.mp4"), 2) << "looked, fetched";
  EXPECT_EQ(Sent("Cookie: session=abc"), 2) << "moved only";
  EXPECT_EQ(Sent("X-Site: kept"), 4) << "the rest go on";
}

TEST_F(TarnfetchSiteExtractor, AnHlsFormatGoesThroughTheStreamPath) {
  // Named a stream, or found to be one by the first look at it.
  for (const char* protocol : {"m3u8_native", "https"}) {
    SCOPED_TRACE(protocol);
    fs::remove_all(out());
    ClearRecords();
    Answer(R"({"title": "A stream", "url": ")" + Url("/index.m3u8") +
           R"(", "ext": "mp4", "protocol": ")" + protocol + R"("})");
    const RunResult run = Fetch("/nothing.html");
    ASSERT_NO_FATAL_FAILURE(ExpectSuccess(run));
    EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"A stream.mp4"});
    EXPECT_EQ(Probe(out() / "A stream.mp4"), "video\n");
    EXPECT_EQ(Count("/s1.ts"), 1);
  }
}

TEST_F(TarnfetchSiteExtractor, SeparatePictureAndSoundBecomeOneFile) {
  Answer(R"({"title": "Merged", "requested_formats": [
      {"url": ")" +
         Url("/video.mp4") + R"(", "ext": "mp4", "protocol": "http",
       "vcodec": "avc1.64000d", "acodec": "none", "filesize": )" +
         std::to_string(media().video.size()) + R"(},
      {"url": ")" +
         Url("/audio.m4a") + R"(", "ext": "m4a", "protocol": "http",
       "vcodec": "none", "acodec": "mp4a.40.2", "filesize": )" +
         std::to_string(media().audio.size()) + R"(}]})");
  // The sound breaks off: the picture and the half of the sound stay.
  cutSoundAt_ = media().video.size();
  ExpectFailure(Fetch("/nothing.html"), out());
  ASSERT_EQ(fs::file_size(out() / "Merged.mp4.video.part"), media().video.size());
  cutSoundAt_ = 0;
  ClearRecords();

  const RunResult run = Fetch("/nothing.html");
  ASSERT_NO_FATAL_FAILURE(ExpectSuccess(run));
  EXPECT_EQ(Count("/video.mp4"), 2) << "only looked at and its first bytes compared";
  const std::string rest = "Range: bytes=" + std::to_string(media().audio.size() / 2) + "-";
  EXPECT_EQ(Sent(rest), 1) << "the rest of the sound";
  EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"Merged.mp4"}) << "no pieces left";
  EXPECT_EQ(Probe(out() / "Merged.mp4"), "video\naudio\n");
  ExpectCompleteOnce(run);  // one progress line
  // The first line already counts the picture and the half of the sound.
  const std::vector<std::string> lines = run.Starting("<speed> ");
  ASSERT_GE(lines.size(), 2u) << run.Text();
  const std::size_t whole = media().video.size() + media().audio.size();
  const std::size_t there = media().video.size() + media().audio.size() / 2;
  EXPECT_GE(std::stod(lines[0].substr(8)) * 10 + 0.5, static_cast<double>(there * 1000 / whole))
      << lines[0];
}

TEST_F(TarnfetchSiteExtractor, SeparatePictureAndSoundAreFetchedAtOnce) {
  const auto format = [this](const std::string& path, const char* protocol, bool picture) {
    return R"({"url": ")" + Url(path) + R"(", "protocol": ")" + protocol +
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
       R"({"url": ")" + Url("/guarded.mp4") +
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
      ExpectFailure(run, out(), c.error);
      if (held) {
        // The picture stopped where it waited, kept with the sound's half.
        EXPECT_GT(PartSize("Merged.mp4.video.part"), 0u);
        EXPECT_LT(PartSize("Merged.mp4.video.part"), media().video.size());
        EXPECT_EQ(PartSize("Merged.mp4.audio.part"), media().audio.size() / 2);
      }
      continue;
    }
    ASSERT_NO_FATAL_FAILURE(ExpectSuccess(run));
    EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"Merged.mp4"}) << "no pieces left";
    EXPECT_EQ(Probe(out() / "Merged.mp4"), "video\naudio\n");
    ExpectCompleteOnce(run);  // one progress line
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
  const std::string media = Url("/protected.mp4");
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
    ExpectFailure(run, out(), c.words);
  }
  EXPECT_FALSE(fs::exists(out()));
  EXPECT_EQ(Count("/protected.mp4"), 0);
  for (const SeenRequest& request : Seen()) {
    for (const auto& [name, value] : request.headers) {
      EXPECT_EQ((name + value).find("Injected"), std::string::npos) << name;
    }
  }
}

TEST_F(TarnfetchSiteExtractor, WithoutTheExtractorTheErrorSaysWhatToInstall) {
  const ScopedEnv noPrograms("PATH", "/nonexistent");
  const RunResult run = Fetch("/nothing.html");
  ExpectFailure(run, out(), "No video was found");
  EXPECT_TRUE(run.Has("Installing yt-dlp")) << run.Text();  // on the one ERROR line
}

// Quillmarsh's Stop ends tarnfetch's process group: the extractor and what
// it started end with it.
TEST_F(TarnfetchSiteExtractor, StopEndsTheExtractorAndWhatItStarted) {
  const fs::path extractorPid = temp() / "extractor.pid";
  const fs::path childPid = temp() / "child.pid";
  StandIn("echo $$ > '" + extractorPid.string() + "'; sleep 300 & echo $! > '" + childPid.string() +
          "'; wait");
  std::vector<std::string> args = Args("/nothing.html", out());
  args.insert(args.begin(), kTarnfetch);
  ConsoleProcess tarnfetch;
  ASSERT_TRUE(tarnfetch.Start(args, ConsoleProcess::Stdin::Null));
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
  const RunResult run = Fetch("/flash.html");
  ASSERT_NO_FATAL_FAILURE(ExpectSuccess(run));
  EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"Old player.mp4"});
  EXPECT_TRUE(ReadFile(out() / "Old player.mp4") == kClip);
}

}  // namespace
}  // namespace tarnfetch_test
