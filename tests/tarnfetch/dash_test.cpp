// The real tarnfetch fetching DASH streams from a loopback server:
// manifests written by the real ffmpeg once for the whole program (segment
// templates with numbers and with a timeline, one file with byte ranges)
// and by hand (a single file, two periods, live, DRM), pages with DASH
// players, and a killed run continued.
#include <condition_variable>
#include <mutex>
#include <set>

#include "TarnfetchHarness.h"

namespace tarnfetch_test {
namespace {

const std::string kFfmpeg = "/usr/bin/ffmpeg";
const std::string kFfprobe = "/usr/bin/ffprobe";

// A six-second clip with picture and sound as DASH, three ways, in folders
// tl/, num/ and one/ of a temporary folder made once per program.
TempFolder* media = nullptr;

class TarnfetchDash : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    media = new TempFolder;
    const std::string d = media->Path();
    const std::vector<std::pair<std::string, std::vector<std::string>>> ways{
        {"tl", {"-use_timeline", "1"}},
        {"num", {"-use_timeline", "0"}},
        {"one", {"-single_file", "1"}}};
    for (const auto& [folder, options] : ways) {
      fs::create_directories(d + "/" + folder);
      std::vector<std::string> args{kFfmpeg,
                                    "-v",
                                    "error",
                                    "-f",
                                    "lavfi",
                                    "-i",
                                    "testsrc=size=64x48:rate=10",
                                    "-f",
                                    "lavfi",
                                    "-i",
                                    "sine=frequency=440",
                                    "-t",
                                    "6",
                                    "-c:v",
                                    "libx264",
                                    "-g",
                                    "10",
                                    "-c:a",
                                    "aac",
                                    "-map",
                                    "0",
                                    "-map",
                                    "1",
                                    "-f",
                                    "dash",
                                    "-seg_duration",
                                    "2",
                                    "-adaptation_sets",
                                    "id=0,streams=v id=1,streams=a"};
      args.insert(args.end(), options.begin(), options.end());
      args.push_back(d + "/" + folder + "/m.mpd");
      ASSERT_EQ(RunProgram(args).exitCode, 0) << "ffmpeg could not make the " << folder << " clip";
    }
  }
  static void TearDownTestSuite() {
    delete media;
    media = nullptr;
  }

  void SetUp() override {
    auto& routes = server_.Routes();
    routes.set_logger([this](const httplib::Request& req, const httplib::Response&) {
      std::lock_guard lock(mutex_);
      requests_.push_back(req.path);
    });
    // The last picture segment of /held/ waits until released.
    routes.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
      if (req.path == "/held/chunk-stream0-00003.m4s") {
        std::unique_lock lock(mutex_);
        released_.wait(lock, [this] { return !holding_; });
      }
      return httplib::Server::HandlerResponse::Unhandled;
    });
    routes.Get("/hand/(.*)", [this](const httplib::Request& req, httplib::Response& res) {
      const auto found = hand_.find(req.matches[1]);
      if (found == hand_.end()) {
        res.status = 404;
        return;
      }
      res.set_content(found->second.first, found->second.second);
    });
    routes.set_mount_point("/", media->Path());
    routes.set_mount_point("/held", media->Path() / "num");
    routes.set_file_extension_and_mimetype_mapping("mpd", "application/dash+xml");
  }
  void TearDown() override { Release(); }

  void Hand(const std::string& name, std::string body, std::string type) {
    hand_[name] = {std::move(body), std::move(type)};
  }
  RunResult Fetch(const std::string& path) {
    return RunTarnfetch({server_.Url(path), "-p", (out() / "%(title)s.%(ext)s").string()});
  }
  void Release() {
    {
      std::lock_guard lock(mutex_);
      holding_ = false;
    }
    released_.notify_all();
  }
  std::set<std::string> Requested() {
    std::lock_guard lock(mutex_);
    return {requests_.begin(), requests_.end()};
  }
  fs::path out() const { return temp_.Path() / "out"; }

  // The one file of a finished run holds picture and sound of the clip.
  void ExpectTheClip(const RunResult& run, const std::string& name) {
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    ExpectWellFormedOutput(run);
    EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{name});
    const RunResult probe =
        RunProgram({kFfprobe, "-v", "error", "-show_entries", "stream=codec_type:format=duration",
                    "-of", "csv=p=0", (out() / name).string()});
    std::istringstream lines(probe.Text());
    std::string video, audio, duration;
    lines >> video >> audio >> duration;
    EXPECT_EQ(video + " " + audio, "video audio") << probe.Text();
    EXPECT_NEAR(std::atof(duration.c_str()), 6.0, 0.6) << probe.Text();
    fs::remove_all(out());
  }

  // The manifest of num/ with its addresses made absolute and `change`
  // applied to its text.
  std::string NumManifest(const std::function<void(std::string&)>& change = {}) {
    std::string text = ReadFile(media->Path() / "num" / "m.mpd");
    text = std::regex_replace(text, std::regex("<Period "),
                              "<BaseURL>" + server_.Url("/num/") + "</BaseURL><Period ");
    if (change) change(text);
    return text;
  }

  LoopbackServer server_;
  TempFolder temp_;
  std::mutex mutex_;
  std::vector<std::string> requests_;
  bool holding_ = true;
  std::condition_variable released_;
  std::map<std::string, std::pair<std::string, std::string>> hand_;
};

TEST_F(TarnfetchDash, EachKindOfManifestBecomesOneFileWithPictureAndSound) {
  const std::string one = server_.Url("/one/");
  Hand("base.mpd",
       "<MPD type=\"static\" mediaPresentationDuration=\"PT6S\"><Period><AdaptationSet "
       "mimeType=\"video/mp4\"><Representation id=\"v\" bandwidth=\"1\"><BaseURL>" +
           one +
           "m-stream0.mp4</BaseURL><SegmentBase indexRange=\"700-800\"/></Representation>"
           "</AdaptationSet><AdaptationSet mimeType=\"audio/mp4\"><Representation id=\"a\" "
           "bandwidth=\"1\"><BaseURL>" +
           one +
           "m-stream1.mp4</BaseURL><SegmentBase/></Representation></AdaptationSet>"
           "</Period></MPD>",
       "application/dash+xml");
  // The same clip cut into two periods of 4 and 2 seconds.
  Hand("periods.mpd", NumManifest([](std::string& text) {
         const std::size_t start = text.find("<Period ");
         const std::size_t end = text.find("</Period>") + 9;
         std::string first = text.substr(start, end - start);
         std::string second = first;
         first = std::regex_replace(first, std::regex("<Period [^>]*>"),
                                    "<Period id=\"1\" duration=\"PT4S\">");
         second = std::regex_replace(second, std::regex("<Period [^>]*>"), "<Period id=\"2\">");
         second = std::regex_replace(second, std::regex("startNumber=\"1\""), "startNumber=\"3\"");
         text.replace(start, end - start, first + second);
       }),
       "application/dash+xml");
  Hand("clip", NumManifest(), "video/vnd.mpeg.dash.mpd");
  Hand("sneaky", NumManifest(), "video/mp4");
  const std::pair<const char*, const char*> cases[] = {
      {"/tl/m.mpd", "m.mp4"},
      {"/num/m.mpd", "m.mp4"},
      {"/one/m.mpd", "m.mp4"},
      {"/hand/base.mpd", "base.mp4"},
      {"/hand/periods.mpd", "periods.mp4"},
      // A manifest served as a video, by its own type or as MP4.
      {"/hand/clip", "clip.mp4"},
      {"/hand/sneaky", "sneaky.mp4"},
  };
  for (const auto& [path, name] : cases) {
    SCOPED_TRACE(path);
    ASSERT_NO_FATAL_FAILURE(ExpectTheClip(Fetch(path), name));
  }
}

TEST_F(TarnfetchDash, LiveAndProtectedManifestsAreRefusedWithNothingLeft) {
  Hand("live.mpd", NumManifest([](std::string& text) {
         text = std::regex_replace(text, std::regex("type=\"static\""), "type=\"dynamic\"");
       }),
       "application/dash+xml");
  Hand("drm.mpd", NumManifest([](std::string& text) {
         text = std::regex_replace(
             text, std::regex("(<Representation id=\"0\"[^>]*>)"),
             "$1<ContentProtection schemeIdUri=\"urn:mpeg:dash:mp4protection:2011\"/>");
       }),
       "application/dash+xml");
  const std::pair<const char*, const char*> cases[] = {{"/hand/live.mpd", "live"},
                                                       {"/hand/drm.mpd", "DRM"}};
  for (const auto& [path, words] : cases) {
    SCOPED_TRACE(path);
    const RunResult run = Fetch(path);
    ExpectFailure(run, out());
    ASSERT_EQ(run.Starting("ERROR: ").size(), 1u) << run.Text();
    EXPECT_NE(run.Starting("ERROR: ")[0].find(words), std::string::npos) << run.Text();
    EXPECT_FALSE(fs::exists(out())) << "refused before anything was written";
  }
}

TEST_F(TarnfetchDash, PagesWithDashPlayersLeadToTheStream) {
  const std::string num = server_.Url("/num/m.mpd");
  const std::string tl = server_.Url("/tl/m.mpd");
  const std::pair<const char*, std::string> pages[] = {
      {"dashjs.html",
       "<title>Dash page</title><video id=v></video><script>"
       "var p = dashjs.MediaPlayer().create(); p.initialize(document."
       "querySelector('#v'), \"" +
           num + "\", true);</script>"},
      {"shaka.html",
       "<title>Shaka page</title><script>const player = new shaka.Player(v);"
       "player.load('" +
           tl + "').then(() => {});</script>"},
      {"source.html",
       "<title>Source page</title><video><source src=\"/num/m.mpd\" "
       "type=\"application/dash+xml\"></video>"},
      {"embed.html",
       "<title>Embed page</title><script type=\"application/ld+json\">"
       "{\"@type\": \"VideoObject\", \"name\": \"x\", \"embedUrl\": \"" +
           server_.Url("/hand/dashjs.html") + "\"}</script>"},
  };
  for (const auto& [name, html] : pages) Hand(name, html, "text/html");
  const std::pair<const char*, const char*> cases[] = {
      {"/hand/dashjs.html", "Dash page.mp4"},
      {"/hand/shaka.html", "Shaka page.mp4"},
      {"/hand/source.html", "Source page.mp4"},
      {"/hand/embed.html", "Embed page.mp4"},
  };
  for (const auto& [path, file] : cases) {
    SCOPED_TRACE(path);
    ASSERT_NO_FATAL_FAILURE(ExpectTheClip(Fetch(path), file));
  }
}

// The site extractor's DASH formats: by their pieces (paths under a base,
// or whole addresses; the first without a duration is the initialisation),
// or by their manifest alone.
TEST_F(TarnfetchDash, TheSiteExtractorsDashFormatsAreFetched) {
  Hand("nothing.html", "<title>No player</title>", "text/html");
  const std::string num = server_.Url("/num/");
  const auto pieces = [&](int stream, int count, bool whole) {
    std::string list = R"({"path": "init-stream)" + std::to_string(stream) + R"(.m4s"})";
    for (int i = 1; i <= count; ++i) {
      const std::string name =
          "chunk-stream" + std::to_string(stream) + "-0000" + std::to_string(i) + ".m4s";
      list += whole ? R"(, {"url": ")" + num + name + R"(", "duration": 2.0})"
                    : R"(, {"path": ")" + name + R"(", "duration": 2})";
    }
    return "[" + list + "]";
  };
  const auto format = [&](const std::string& codecs, const std::string& more) {
    return R"({"protocol": "http_dash_segments", "ext": "mp4", )" + codecs + ", " + more + "}";
  };
  const std::string manifest =
      R"("manifest_url": ")" + num + R"(m.mpd", "url": ")" + num + R"(m.mpd")";
  const std::pair<const char*, std::string> answers[] = {
      {"pieces",
       format(R"("vcodec": "avc1", "acodec": "none")",
              R"("fragment_base_url": ")" + num + R"(", "fragments": )" + pieces(0, 3, false)) +
           ", " +
           format(R"("vcodec": "none", "acodec": "mp4a.40.2")",
                  R"("url": ")" + num + R"(m.mpd", "fragments": )" + pieces(1, 3, true))},
      {"manifest", format(R"("vcodec": "avc1", "acodec": "none")", manifest) + ", " +
                       format(R"("vcodec": "none", "acodec": "mp4a.40.2")", manifest)},
  };
  const fs::path bin = temp_.Path() / "bin";
  fs::create_directories(bin);
  const std::string saved = std::getenv("PATH");
  setenv("PATH", (bin.string() + ":" + saved).c_str(), 1);
  for (const auto& [name, formats] : answers) {
    SCOPED_TRACE(name);
    WriteFile(temp_.Path() / "answer.json",
              R"({"title": "From the extractor", "requested_formats": [)" + formats + "]}");
    WriteFile(bin / "yt-dlp", "#!/bin/sh\ncat '" + (temp_.Path() / "answer.json").string() + "'\n");
    fs::permissions(bin / "yt-dlp", fs::perms::owner_all);
    ExpectTheClip(Fetch("/hand/nothing.html"), "From the extractor.mp4");
  }
  setenv("PATH", saved.c_str(), 1);
}

TEST_F(TarnfetchDash, AKilledRunContinuesWithWhatWasMissing) {
  ConsoleProcess first;
  ASSERT_TRUE(first.Start(
      {kTarnfetch, server_.Url("/held/m.mpd"), "-p", (out() / "%(title)s.%(ext)s").string()},
      ConsoleProcess::Stdin::Null));
  // The picture's first two segments are written; the third is held.
  const fs::path control = out() / "m.mp4.video.part.ctl";
  const auto recorded = [&] {
    return ReadFile(control).find("value segments 2\n") != std::string::npos;
  };
  for (int i = 0; i < 400 && !recorded(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const bool reached = recorded();
  first.Terminate();
  first.Wait(std::chrono::seconds(10));
  Release();
  ASSERT_TRUE(reached) << ReadFile(control);
  {
    std::lock_guard lock(mutex_);
    requests_.clear();
  }
  const RunResult second = Fetch("/held/m.mpd");
  const std::set<std::string> asked = Requested();
  EXPECT_EQ(asked.count("/held/chunk-stream0-00001.m4s"), 1u) << "compared with the one written";
  EXPECT_EQ(asked.count("/held/chunk-stream0-00002.m4s"), 0u) << "fetched again";
  EXPECT_EQ(asked.count("/held/chunk-stream0-00003.m4s"), 1u);
  ExpectTheClip(second, "m.mp4");
}

}  // namespace
}  // namespace tarnfetch_test
