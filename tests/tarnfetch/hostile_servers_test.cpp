// Hostile servers and planted files replayed through the real tarnfetch:
// each case is an attack and the sound end it must come to.
#include <sys/mman.h>
#include <sys/stat.h>

#include <map>
#include <mutex>
#include <tuple>

#include "TarnfetchHarness.h"
#include "core/FetchError.h"
#include "ffmpeg/FfmpegCopy.h"
#include "ffmpeg/WholeMedia.h"

namespace tarnfetch_test {
namespace {

const std::string kFfmpeg = "/usr/bin/ffmpeg";

// Made once by the real ffmpeg: an MPEG-TS clip, and a picture and a sound
// of their own.
struct Media {
  TempDir dir;
  std::string ts, video, audio, mkv;
};
Media* media = nullptr;

std::string Playlist(const std::string& segment) {
  return "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:1,\n" + segment + "\n#EXT-X-ENDLIST\n";
}

class TarnfetchHostileServers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    media = new Media;
    const std::string d = media->dir.path();
    const auto make = [&](const std::string& source, const std::string& file) {
      return RunProgram(
                 {kFfmpeg, "-v", "error", "-f", "lavfi", "-i", source, "-t", "1", d + "/" + file})
                 .exitCode == 0;
    };
    ASSERT_TRUE(make("testsrc=size=64x48:rate=10", "clip.ts") &&
                make("testsrc=size=64x48:rate=10", "video.mp4") &&
                make("sine=frequency=440", "audio.m4a") &&
                make("testsrc=size=64x48:rate=10", "video.mkv"));
    media->ts = ReadFile(d + "/clip.ts");
    media->video = ReadFile(d + "/video.mp4");
    media->audio = ReadFile(d + "/audio.m4a");
    media->mkv = ReadFile(d + "/video.mkv");
  }
  static void TearDownTestSuite() {
    delete media;
    media = nullptr;
  }

  void SetUp() override {
    ASSERT_FALSE(media->ts.empty()) << "the clips could not be made";
    server_.Routes().Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard lock(mutex_);
      const auto found = bodies_.find(req.path);
      if (found == bodies_.end()) {
        res.status = 404;
      } else {
        res.set_content(found->second.first, found->second.second);
      }
    });
    Serve("/clip.m3u8", Playlist("clip.ts"), "application/vnd.apple.mpegurl");
    Serve("/clip.ts", media->ts, "video/mp2t");
    Serve("/clip.mp4", media->video, "video/mp4");
    Serve("/video.mp4", media->video, "video/mp4");
    Serve("/audio.m4a", media->audio, "audio/mp4");
    Serve("/nothing.html", "<html><title>No player</title></html>", "text/html");
    fs::create_directories(bin());
    path_ = std::getenv("PATH");
    setenv("PATH", (bin().string() + ":" + path_).c_str(), 1);
  }
  void TearDown() override { setenv("PATH", path_.c_str(), 1); }

  void Serve(const std::string& path, const std::string& body, const std::string& type) {
    std::lock_guard lock(mutex_);
    bodies_[path] = {body, type};
  }
  // A stand-in program found on PATH before the real one; empty: none.
  void StandIn(const std::string& name, const std::string& script) {
    fs::remove(bin() / name);
    if (script.empty()) return;
    WriteFile(bin() / name, "#!/bin/sh\n" + script + "\n");
    fs::permissions(bin() / name, fs::perms::owner_all);
  }
  // The stand-in site extractor answers with a picture and a sound apart.
  void ExtractorAnswers(const std::string& title) {
    const auto format = [&](const char* path, const char* ext, const char* v, const char* a) {
      return R"({"url": ")" + server_.Url(path) + R"(", "ext": ")" + ext +
             R"(", "protocol": "http", "vcodec": ")" + v + R"(", "acodec": ")" + a + R"("})";
    };
    WriteFile(temp_.Path() / "answer.json",
              R"({"title": ")" + title + R"(", "requested_formats": [)" +
                  format("/video.mp4", "mp4", "avc1.64000d", "none") + ", " +
                  format("/audio.m4a", "m4a", "none", "mp4a.40.2") + "]}");
    StandIn("yt-dlp", "cat '" + (temp_.Path() / "answer.json").string() + "'");
  }
  RunResult Fetch(const std::string& path, const std::string& folder,
                  const std::string& name = "%(title)s.%(ext)s") {
    return RunTarnfetch({server_.Url(path), "-p", (out() / folder / name).string()});
  }

  fs::path bin() const { return temp_.Path() / "bin"; }
  fs::path out() const { return temp_.Path() / "out"; }

  TempFolder temp_;
  std::string path_;
  std::mutex mutex_;
  std::map<std::string, std::pair<std::string, std::string>> bodies_;
  LoopbackServer server_;  // last: stopped first
};

TEST_F(TarnfetchHostileServers, EachAttackEndsSoundly) {
  const std::string privateFile = (temp_.Path() / "private.ts").string();
  WriteFile(privateFile, media->ts);
  const std::string video = media->dir.path() + "/video.mp4";
  struct Case {
    std::string attack;
    std::function<void()> plant;
    std::string path, folder;
    std::string ffmpeg;  // a stand-in's script; empty: the real one
    const char* error;   // in the ERROR line; nullptr: the run succeeds
    std::vector<std::string> files;
    std::string name = "%(title)s.%(ext)s";
    std::string title = "";  // the <title> line's, when given
  };
  const std::vector<Case> cases{
      {"a segment that is a playlist naming a local file",
       [&] {
         Serve("/local.m3u8", Playlist("local.ts"), "application/vnd.apple.mpegurl");
         Serve("/local.ts", Playlist("file://" + privateFile), "video/mp2t");
       },
       "/local.m3u8",
       "2",
       "",
       "not a video or sound file it may read",
       {"local.mp4.part", "local.mp4.part.ctl"}},
      {"a full disk while ffmpeg writes the trailer",
       [] {},
       "/clip.m3u8",
       "4",
       "for a; do last=$a; done; cat '" + video +
           "' > \"${last#file:}\"\n"
           "echo 'Error writing trailer of file:/dev/fd/4: No space left on device' >&2",
       "No space left on device",
       {"clip.mp4.part", "clip.mp4.part.ctl"}},
      {"the next run, with room", [] {}, "/clip.m3u8", "4", "", nullptr, {"clip.mp4"}},
      {"a FIFO planted as the control file",
       [&] {
         fs::create_directories(out() / "11");
         mkfifo((out() / "11/clip.mp4.part.ctl").c_str(), 0600);
       },
       "/clip.mp4",
       "11",
       "",
       nullptr,
       {"clip.mp4"}},
      {"dead frames and dead players before the real ones",
       [&] {
         std::string dead, players;
         for (const char* frame :
              {"about:blank", "javascript:false", "data:text/html,x", "blob:x", "about:srcdoc"}) {
           dead += "<iframe src=\"" + std::string(frame) + "\"></iframe>";
         }
         for (int i = 0; i < 16; ++i) players += "<video src=\"blob:" + std::to_string(i) + "\">";
         Serve("/frames.html", "<title>Framed</title>" + dead + "<iframe src=\"player.html\">",
               "text/html");
         Serve("/player.html", players + "<video src=\"clip.mp4\">", "text/html");
       },
       "/frames.html",
       "12",
       "",
       nullptr,
       {"Framed.mp4"}},
      {"a template that leaves no room for the pieces' names",
       [&] { ExtractorAnswers(std::string(300, 't')); },
       "/nothing.html",
       "14",
       "",
       nullptr,
       {std::string(46, 'x') + std::string(194, 't') + ".mp4"},
       std::string(46, 'x') + "%(title)s.%(ext)s"},
      {"an address name in Latin-1",
       [&] { Serve("/caf\xE9.mp4", media->video, "video/mp4"); },
       "/caf%E9.mp4",
       "15",
       "",
       nullptr,
       {"caf\u00E9.mp4"},
       "%(title)s.%(ext)s",
       "caf\u00E9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attack);
    c.plant();
    StandIn("ffmpeg", c.ffmpeg);
    const RunResult run = Fetch(c.path, c.folder, c.name);
    if (c.error != nullptr) {
      ExpectFailure(run, out() / c.folder);
      EXPECT_NE(run.Text().find(c.error), std::string::npos) << run.Text();
    } else {
      EXPECT_EQ(run.exitCode, 0) << run.Text();
      ExpectWellFormedOutput(run);
    }
    EXPECT_EQ(FilesBelow(out() / c.folder), c.files);
    if (!c.title.empty()) EXPECT_EQ(TagValue(run, "title"), c.title);
  }
}

TEST_F(TarnfetchHostileServers, PiecesStayLockedUntilJoined) {
  // The first join waits until the second run has tried the same name.
  const fs::path waiting = temp_.Path() / "waiting", go = temp_.Path() / "go";
  StandIn("ffmpeg", "if mkdir '" + waiting.string() + "' 2>/dev/null; then\n" + "  while [ ! -e '" +
                        go.string() + "' ]; do sleep 0.01; done\nfi\n" + "exec " + kFfmpeg +
                        " \"$@\"");
  ExtractorAnswers("Same");
  RunResult first;
  std::thread firstRun([&] { first = Fetch("/nothing.html", "5"); });
  for (int i = 0; i < 2000 && !fs::exists(waiting); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const RunResult second = Fetch("/nothing.html", "5");
  ExpectFailure(second, out() / "5");
  WriteFile(go, "");
  firstRun.join();
  EXPECT_NE(second.Text().find("Another download is already writing"), std::string::npos)
      << second.Text();
  EXPECT_EQ(first.exitCode, 0) << first.Text();
  EXPECT_EQ(FilesBelow(out() / "5"), std::vector<std::string>{"Same.mp4"});
}

TEST_F(TarnfetchHostileServers, AnFfmpegRunThatNeverEndsIsStoppedAtItsLimit) {
  EXPECT_GT(tarnfetch::FfmpegTimeLimit(10'000'000'000), tarnfetch::FfmpegTimeLimit(0));
  StandIn("ffmpeg", "exec sleep 600");
  const int input = open((media->dir.path() + "/clip.ts").c_str(), O_RDONLY | O_CLOEXEC);
  const int output = open(temp_.Path().c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  const std::string what = [&]() -> std::string {
    try {
      tarnfetch::RunFfmpegCopy((bin() / "ffmpeg").string(),
                               {{input}, output, "mp4", {}, "copy", std::chrono::seconds(1)});
    } catch (const tarnfetch::FetchError& error) {
      return error.what();
    }
    return "no error";
  }();
  EXPECT_NE(what.find("did not end within 1 seconds and was stopped"), std::string::npos) << what;
  close(input);
  close(output);
}

TEST_F(TarnfetchHostileServers, OnlyAFileWrittenToItsEndIsWhole) {
  const std::string& mp4 = media->video;
  const std::string& mkv = media->mkv;
  for (const auto& [bytes, muxer, whole] : std::vector<std::tuple<std::string, const char*, bool>>{
           {mp4, "mp4", true},
           {mp4.substr(0, mp4.size() - 1), "mp4", false},
           {mp4 + std::string(8, '\0'), "mp4", false},
           {mkv, "matroska", true},
           {mkv.substr(0, mkv.size() - 1), "matroska", false},
           {mp4, "matroska", false}}) {
    const int fd = memfd_create("media", MFD_CLOEXEC);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    EXPECT_EQ(tarnfetch::IsWholeMediaFile(fd, muxer), whole) << muxer << " " << bytes.size();
    close(fd);
  }
}

}  // namespace
}  // namespace tarnfetch_test
