// Hostile servers and planted files replayed through the real tarnfetch:
// each case is an attack and the sound end it must come to.
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>

#include "core/FetchError.h"
#include "ffmpeg/FfmpegCopy.h"
#include "ffmpeg/WholeMedia.h"
#include "support/ChildProcesses.h"
#include "support/TarnfetchTest.h"
#include "support/TestMedia.h"

namespace tarnfetch_test {
namespace {

using namespace std::chrono_literals;

// Clips made once by the real ffmpeg.
struct Media {
  Media() {
    const ClipKind picture{.sound = false, .seconds = 1};
    made =
        MakeClip(picture, {dir.file("clip.ts")}) && MakeClip(picture, {dir.file("video.mp4")}) &&
        MakeClip(picture, {dir.file("video.mkv")}) &&
        MakeClip({.picture = false, .seconds = 1}, {dir.file("audio.m4a")}) &&
        MakeClip({.sound = false}, {"-f", "segment", "-segment_time", "1", dir.file("seg%d.ts")}) &&
        RunProgram({"/bin/gzip", "-kn", dir.file("video.mp4")}).exitCode == 0;
  }
  TempDir dir;
  bool made = false;
};

const Media& media() {
  static const Media made;
  return made;
}

std::string Clip(const std::string& name) {
  return ReadFile(media().dir.file(name));
}

std::string Playlist(const std::string& segment) {
  return "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:1,\n" + segment + "\n#EXT-X-ENDLIST\n";
}

class TarnfetchHostileServers : public TarnfetchTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(media().made) << "the clips could not be made";
    Routes().Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard lock(mutex_);
      const std::string host = req.get_header_value("Host");
      // Episodes: the same path, another query.
      const std::string episode = req.has_param("ep") ? "?ep=" + req.get_param_value("ep") : "";
      const auto found = bodies_.find(req.path + episode);
      if (found == bodies_.end()) return void(res.status = 404);
      const std::string& body = found->second;
      const std::string quirk =
          quirks_.contains(req.path + episode) ? quirks_[req.path + episode] : "";
      if (req.has_param("etag")) res.set_header("ETag", "\"" + req.get_param_value("etag") + "\"");
      const char* type = EndsWith(req.path, ".html") ? "text/html" : "video/mp4";
      if (quirk == "cut") return ServeHalfThenCut(res, body);
      if (quirk == "moved" && req.has_header("Range") && !host.starts_with("localhost")) {
        return res.set_redirect(There(req.path));
      }
      if (quirk == "gzip" &&
          req.get_header_value("Accept-Encoding").find("gzip") != std::string::npos) {
        res.set_header("Content-Encoding", "gzip");
        return res.set_content(bodies_[req.path + ".gz"], type);
      }
      if (quirk == "whole") res.status = 200;  // a Range answered with all
      // Two ranges of the first layout at 2 bytes a second, for ever.
      if (quirk == "trickle" && req.ranges.size() == 1 &&
          (req.ranges[0].first == 3 << 20 || req.ranges[0].first == 6 << 20)) {
        return res.set_content_provider(
            body.size(), type, [&body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
              std::this_thread::sleep_for(500ms);
              return sink.write(body.data() + offset, 1);
            });
      }
      res.set_content(body, quirk == "json" ? "application/json" : type);
    });
    std::string dead, players;
    for (const char* frame : {"about:blank", "javascript:false", "data:,x", "blob:x", "about:a"}) {
      dead += "<iframe src=\"" + std::string(frame) + "\"></iframe>";
    }
    for (int i = 0; i < 16; ++i) players += "<video src=\"blob:" + std::to_string(i) + "\">";
    WriteFile(temp() / "private.ts", Clip("clip.ts"));
    // clang-format off
    bodies_ = {{"/clip.m3u8", Playlist("clip.ts")}, {"/clip.ts", Clip("clip.ts")},
               {"/clip.mp4", Clip("video.mp4")}, {"/video.mp4", Clip("video.mp4")},
               {"/audio.m4a", Clip("audio.m4a")}, {"/nothing.html", "<title>None</title>"},
               {"/local.m3u8", Playlist("local.ts")},
               {"/local.ts", Playlist("file://" + (temp() / "private.ts").string())},
               {"/concat.mp4",
                "ffconcat version 1.0\nfile '" + (temp() / "private.ts").string() + "'\n"},
               {"/frames.html", "<title>Framed</title>" + dead + "<iframe src=player.html>"},
               {"/player.html", players + "<video src=\"clip.mp4\">"},
               {"/caf\xE9.mp4", Clip("video.mp4")}, {"/creds.m3u8", Playlist(Elsewhere())},
               {"/packed.mp4", Clip("video.mp4")},
               {"/packed.mp4.gz", Clip("video.mp4.gz")},
               {"/a/clip.mp4", RandomBytes(100000, 1)}, {"/b/clip.mp4", RandomBytes(100000, 2)},
               {"/a/list.m3u8", Playlist("/seg0.ts\n#EXTINF:1,\n/missing.ts")},
               {"/b/list.m3u8", Playlist("/b/seg0.ts\n#EXTINF:1,\n/seg1.ts")},
               {"/seg0.ts", Clip("seg0.ts")}, {"/b/seg0.ts", Clip("seg0.ts")},
               {"/seg1.ts", Clip("seg1.ts")},
               {"/page.html", "<title>Paged</title><video src=\"/big.mp4\">"},
               {"/big.mp4", RandomBytes(9 << 20, 3)}, {"/gone.mp4", RandomBytes(9 << 20, 4)},
               {"/gaps.mp4", RandomBytes(9 << 20, 5)}, {"/trickle.mp4", RandomBytes(9 << 20, 6)},
               {"/text.m3u8", Playlist("words.ts")}, {"/words.ts", "{\"error\": \"gone\"}"},
               {"/binary.m3u8", Playlist("clip.ts\n#EXTINF:1,\nbinary.ts")},
               {"/binary.ts", "\x01<html><title>Too many requests</title>"},
               {"/ep.m3u8?ep=1", Playlist("/ep0.ts?ep=1\n#EXTINF:1,\n/ep1.ts?ep=1")},
               {"/ep.m3u8?ep=2", Playlist("/ep0.ts?ep=2\n#EXTINF:1,\n/ep1.ts?ep=2")},
               {"/ep0.ts?ep=1", Clip("seg0.ts")}, {"/ep0.ts?ep=2", Clip("seg1.ts")},
               {"/ep1.ts?ep=2", Clip("seg0.ts")},
               {"/q.mp4?ep=1", RandomBytes(100000, 6)}, {"/q.mp4?ep=2", RandomBytes(100000, 7)},
               {"/r.mp4?ep=1", RandomBytes(100000, 8)}, {"/r.mp4?ep=2", RandomBytes(100000, 8)},
               {"/ld.html", "<title>LD</title><script type=application/ld+json>[{\"contentUrl\": "
                "\"/none.mp4\"}, {\"contentUrl\": \"./none.mp4\"}, {\"contentUrl\": "
                "\"none.mp4#t=1\"}, {\"contentUrl\": \"/a/../none.mp4\"}, {\"contentUrl\": \"" +
                Url("/none.mp4") + "\"}, {\"contentUrl\": \"/video.mp4\"}]</script>"}};
    quirks_ = {{"/packed.mp4", "gzip"}, {"/a/clip.mp4", "cut"}, {"/big.mp4", "moved"},
               {"/q.mp4?ep=1", "cut"}, {"/r.mp4?ep=1", "cut"},
               {"/gone.mp4", "whole"}, {"/words.ts", "json"}, {"/trickle.mp4", "trickle"}};
    // clang-format on
  }

  // What the stand-in site extractor answers; empty: no stand-in.
  void ExtractorAnswers(const std::string& json) {
    json.empty() ? programs_.Script("yt-dlp", "") : programs_.Printing("yt-dlp", json);
  }
  // A picture and a sound apart, under the title.
  std::string Apart(const std::string& title, const std::string& picture = "/video.mp4") {
    return R"({"title": ")" + title + R"(", "requested_formats": [{"url": ")" + Url(picture) +
           R"(", "ext": "mp4", "vcodec": "avc1.64000d", "acodec":
           "none"}, {"url": ")" +
           Url("/audio.m4a") + R"(", "ext": "m4a", "vcodec":
           "none", "acodec": "mp4a.40.2"}]})";
  }
  // The segment's address on another origin: another name, the same server.
  std::string Elsewhere() { return There("/clip.ts"); }
  std::string There(const std::string& path) { return Url(path).replace(7, 9, "localhost"); }
  // A ".part" of path's body in folder, and the control file of a run over
  // several connections that kept done (text of "done" lines) of it.
  void Plant(const std::string& folder, const std::string& path, const std::string& part,
             const std::string& done) {
    const fs::path name = out() / folder / path.substr(1);
    fs::create_directories(name.parent_path());
    WriteFile(name.string() + ".part", part);
    WriteFile(name.string() + ".part.ctl", "tarnfetch-control 1\nvalue address " + Url(path) +
                                               "\nvalue layout ranges\nvalue length " +
                                               std::to_string(part.size()) + "\n" + done + "end\n");
  }
  // "host/path Cookie-and-Authorization" of each request; the Referers of
  // the parts redirected to the other origin.
  std::vector<std::string> Asked() {
    std::vector<std::string> asked;
    for (const SeenRequest& request : Seen()) {
      asked.push_back(request.Header("Host") + request.path + " " + request.Header("Cookie") +
                      request.Header("Authorization"));
    }
    return asked;
  }
  std::vector<std::string> MovedReferers() {
    std::vector<std::string> referers;
    for (const SeenRequest& request : Seen()) {
      if (request.path == "/big.mp4" && request.Header("Host").starts_with("localhost"))
        referers.push_back(request.Header("Referer"));
    }
    return referers;
  }
  RunResult Fetch(const std::string& path, const std::string& folder,
                  const std::string& name = "%(title)s.%(ext)s") {
    return FetchInto(out() / folder, path, name);
  }

  std::mutex mutex_;
  std::map<std::string, std::string> bodies_;
  std::map<std::string, std::string> quirks_;  // how a path is served, if not plainly
  StandInPrograms programs_;
};

TEST_F(TarnfetchHostileServers, EachAttackEndsSoundly) {
  const ScopedEnv slowPart("TARNFETCH_TEST_SLOW_PART_SECONDS", "1");
  fs::create_directories(out() / "11");
  mkfifo((out() / "11/clip.mp4.part.ctl").c_str(), 0600);
  // ffmpeg on a full disk: a whole file but its error words, or no words
  // but a file cut short; both end with status 0.
  const std::string write = "for a; do last=$a; done; " + kFfmpeg + " -v error -i '" +
                            media().dir.file("video.mp4") + "' -c copy -f mp4 -y \"$last\"";
  const std::string fullDisk =
      write + "\necho 'Error writing trailer: No space left on device' >&2";
  const std::string cutShort = write + "; truncate -s 1000 \"${last#file:}\"";
  const std::string credentials = R"({"title": "Creds", "url": ")" + Url("/creds.m3u8") +
                                  R"(", "protocol": "m3u8_native", "http_headers": {"Cookie":
                                  "s=1", "Authorization": "Basic eHl6"}})";
  const std::string fragments =
      R"({"title": "Pieces", "protocol": "http_dash_segments",
      "manifest_url": ")" +
      Url("/pieces.mpd") + R"(", "fragment_base_url": ")" + There("/") +
      R"(", "fragments": [{"path": "seg0.ts", "duration": 1}], "http_headers":
      {"Cookie": "s=1"}})";
  const std::string x46(46, 'x');
  struct Case {
    std::string attack, path, folder;
    std::string ffmpeg, extractor;  // stand-ins' scripts or answers; empty: none
    const char* error;              // in the ERROR line; nullptr: the run succeeds
    std::vector<std::string> files;
    std::string same = "";   // the path whose body the first file holds
    std::string asked = "";  // a path the run must ask for
    std::string name = "%(title)s.%(ext)s", title = "";
    std::string ranges = "";  // the Range headers the run sent, when stated
  };
  // clang-format off
  const std::vector<Case> cases{
      {"a segment that is a playlist naming a local file", "/local.m3u8", "2", "", "",
       "a text instead of the video", {"local.mp4.part", "local.mp4.part.ctl"}},
      {"a picture that is a list of local files", "/nothing.html", "2b", "",
       Apart("Local", "/concat.mp4"), "not a video or sound file it may read",
       {"Local.mp4.audio.part", "Local.mp4.audio.part.ctl", "Local.mp4.video.part",
        "Local.mp4.video.part.ctl"}},
      {"a full disk while ffmpeg writes the trailer", "/clip.m3u8", "4", fullDisk, "",
       "No space left on device", {"clip.mp4.part", "clip.mp4.part.ctl"}},
      {"a full disk without a word", "/clip.m3u8", "4", cutShort, "",
       "the file it wrote is cut short", {"clip.mp4.part", "clip.mp4.part.ctl"}},
      {"the next run, with room", "/clip.m3u8", "4", "", "", nullptr, {"clip.mp4"}},
      {"the extractor's credentials and a segment elsewhere", "/nothing.html", "7", "",
       credentials, nullptr, {"Creds.mp4"}},
      {"the extractor's credentials and DASH pieces elsewhere", "/nothing.html", "7b", "",
       fragments, nullptr, {"Pieces.mp4"}},
      {"a FIFO planted as the control file", "/clip.mp4", "11", "", "", nullptr, {"clip.mp4"}},
      {"dead frames and players before the real ones", "/frames.html", "12", "", "", nullptr,
       {"Framed.mp4"}},
      {"a template that leaves no room for the pieces' names", "/nothing.html", "14", "",
       Apart(std::string(300, 't')), nullptr, {x46 + std::string(194, 't') + ".mp4"}, "", "",
       x46 + "%(title)s.%(ext)s"},
      {"an address name in Latin-1", "/caf%E9.mp4", "15", "", "", nullptr, {"caf\u00E9.mp4"}, "",
       "", "%(title)s.%(ext)s", "caf\u00E9"},
      {"a probe answered packed", "/packed.mp4", "13", "", "", nullptr, {"packed.mp4"},
       "/packed.mp4"},
      {"a video cut off", "/a/clip.mp4", "9", "", "", "The connection broke",
       {"clip.mp4.part", "clip.mp4.part.ctl"}},
      {"another video of that name and length, no validators", "/b/clip.mp4", "9", "", "",
       nullptr, {"clip.mp4"}, "/b/clip.mp4"},
      {"a stream cut off", "/a/list.m3u8", "9h", "", "", "HTTP 404",
       {"list.mp4.part", "list.mp4.part.ctl"}},
      {"another stream of that name, count and durations", "/b/list.m3u8", "9h", "", "", nullptr,
       {"list.mp4"}, "", "/b/seg0.ts"},
      {"episode 1 cut off", "/ep.m3u8?ep=1", "9e", "", "", "HTTP 404",
       {"ep.mp4.part", "ep.mp4.part.ctl"}},
      {"episode 2: its addresses but for the query, its count and durations", "/ep.m3u8?ep=2",
       "9e", "", "", nullptr, {"ep.mp4"}},
      {"parts redirected elsewhere from a page with a token", "/page.html?token=t0k", "8", "",
       "", nullptr, {"Paged.mp4"}, "/big.mp4"},
      {"a server that stopped sending parts", "/gone.mp4", "10", "", "", nullptr, {"gone.mp4"},
       "/gone.mp4"},
      {"a record of 20,000 one-byte gaps", "/gaps.mp4", "16", "", "", nullptr, {"gaps.mp4"},
       "/gaps.mp4"},
      {"episode 1 of a file cut off", "/q.mp4?ep=1", "9q", "", "", "The connection broke",
       {"q.mp4.part", "q.mp4.part.ctl"}},
      {"episode 2: its address but for the query, its length", "/q.mp4?ep=2", "9q", "", "",
       nullptr, {"q.mp4"}, "/q.mp4?ep=2", "", "%(title)s.%(ext)s", "", " bytes=0-49999  "},
      {"a file with a token cut off", "/r.mp4?ep=1&etag=a", "9r", "", "", "The connection broke",
       {"r.mp4.part", "r.mp4.part.ctl"}},
      {"the same file, the token rotated", "/r.mp4?ep=2&etag=a", "9r", "", "", nullptr,
       {"r.mp4"}, "/r.mp4?ep=2", "", "%(title)s.%(ext)s", "", " bytes=0-49999 bytes=50000- "},
      {"a file cut off again", "/r.mp4?ep=1&etag=a", "9t", "", "", "The connection broke",
       {"r.mp4.part", "r.mp4.part.ctl"}},
      {"the same bytes under another ETag", "/r.mp4?ep=2&etag=b", "9t", "", "", nullptr,
       {"r.mp4"}, "/r.mp4?ep=2", "", "%(title)s.%(ext)s", "", "  "},
      {"a page whose first contentUrl, written five ways, answers 404", "/ld.html", "17", "", "",
       nullptr, {"LD.mp4"}, "/video.mp4"},
      {"two ranges trickled at 2 bytes a second", "/trickle.mp4", "18", "", "", nullptr,
       {"trickle.mp4"}, "/trickle.mp4"},
      {"a segment that is text", "/text.m3u8", "6a", "", "", "(application/json) instead of",
       {"text.mp4.part", "text.mp4.part.ctl"}},
      {"a page after a binary byte as the second segment", "/binary.m3u8", "6b", "", "",
       "a text instead of the video", {"binary.mp4.part", "binary.mp4.part.ctl"}},
  };
  // clang-format on
  // Half of a file fetched in parts; all of one but 20,000 bytes apart.
  const std::string& gone = bodies_["/gone.mp4"];
  Plant("10", "/gone.mp4", gone.substr(0, gone.size() / 2) + std::string(gone.size() / 2, '\0'),
        "done 0 " + std::to_string(gone.size() / 2) + "\n");
  std::string gaps = bodies_["/gaps.mp4"], done;
  const std::size_t apart = gaps.size() / 20000;
  for (std::size_t gap = 0; gap < 20000 * apart; gap += apart) {
    gaps[gap] = '\0';
    done += "done " + std::to_string(gap + 1) + " " +
            std::to_string(gap + apart < 20000 * apart ? gap + apart : gaps.size()) + "\n";
  }
  Plant("16", "/gaps.mp4", gaps, done);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attack);
    programs_.Script("ffmpeg", c.ffmpeg);
    ExtractorAnswers(c.extractor);
    fs::create_directories(out() / c.folder);
    const std::size_t before = Seen().size();
    const RunResult run = Fetch(c.path, c.folder, c.name);
    std::string ranges;
    const auto seen = Seen();
    for (std::size_t i = before; i < seen.size(); ++i) {
      if (c.path.starts_with(seen[i].path + "?")) ranges += seen[i].Header("Range") + " ";
    }
    c.error != nullptr ? ExpectFailure(run, out() / c.folder) : ExpectWellFormedOutput(run);
    EXPECT_EQ(run.exitCode == 0, c.error == nullptr) << run.Text();
    EXPECT_NE(run.Text().find(c.error != nullptr ? c.error : "<title>"), std::string::npos)
        << run.Text();
    EXPECT_EQ(FilesBelow(out() / c.folder), c.files);
    EXPECT_EQ(c.title.empty() ? "" : TagValue(run, Marker::Title), c.title);
    EXPECT_TRUE(c.same.empty() || ReadFile(out() / c.folder / c.files.at(0)) == bodies_[c.same]);
    const std::string asked = Url(c.asked).substr(7) + " ";
    const auto all = Asked();
    EXPECT_TRUE(c.asked.empty() || std::count(all.begin(), all.end(), asked) == 1);
    EXPECT_TRUE(c.ranges.empty() || ranges == c.ranges) << ranges;
  }
  EXPECT_LT(SentValues("Range", "/gaps.mp4").size(), 64u);
  EXPECT_EQ(Count("/none.mp4"), 1);
  // The trickled parts were taken over from where they had got to.
  const auto trickled = SentValues("Range", "/trickle.mp4");
  EXPECT_TRUE(std::any_of(trickled.begin(), trickled.end(), [](const std::string& range) {
    return std::stoull(range.substr(6)) % (1 << 20) != 0;
  }));
  const auto referers = MovedReferers();
  EXPECT_FALSE(referers.empty());
  for (const std::string& referer : referers) EXPECT_EQ(referer, Url("/"));
  const auto seen = Asked();
  const std::string origin = Url("/creds.m3u8").substr(7) + " s=1Basic eHl6";
  EXPECT_EQ(std::count(seen.begin(), seen.end(), origin), 1);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), Elsewhere().substr(7) + " "), 1);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), There("/seg0.ts").substr(7) + " "), 1);
  // Episode 2's first segment: compared with episode 1's, then fetched.
  EXPECT_EQ(std::count(seen.begin(), seen.end(), Url("/ep0.ts").substr(7) + " "), 3);
}

// The connection memory in the cache: a planted link is replaced, not
// followed; a FIFO is neither waited on nor replaced.
TEST_F(TarnfetchHostileServers, APlantedConnectionMemoryIsNotFollowed) {
  const fs::path memory = temp() / "cache/tarnfetch/connections";
  const fs::path outside = temp() / "outside";
  fs::create_directories(memory.parent_path());
  WriteFile(outside, "mine");
  const ScopedEnv cache("XDG_CACHE_HOME", (temp() / "cache").string());
  for (const auto type : {fs::file_type::regular, fs::file_type::fifo}) {
    fs::remove(memory);
    type == fs::file_type::fifo ? mkfifo(memory.c_str(), 0600)
                                : (fs::create_symlink(outside, memory), 0);
    const RunResult run = Fetch("/gaps.mp4", std::to_string(static_cast<int>(type)));
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(fs::symlink_status(memory).type(), type);
  }
  EXPECT_EQ(ReadFile(outside), "mine");
}

// tarnfetch killed while the site extractor runs: what the extractor
// started ends as well.
TEST_F(TarnfetchHostileServers, WhatTheExtractorStartedEndsWhenTarnfetchIsKilled) {
  const fs::path started = temp() / "started";
  programs_.Script("yt-dlp", "sleep 300 & echo $! > '" + started.string() + ".new'; mv '" +
                                 started.string() + ".new' '" + started.string() + "'; wait");
  ASSERT_TRUE(KillTarnfetchWhen({Url("/nothing.html"), "-p", (out() / "k/%(title)s").string()},
                                [&] { return fs::exists(started); }));
  const int left = std::stoi(ReadFile(started));
  for (int i = 0; i < 1000 && quillmarsh::IsRunning(left); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(quillmarsh::IsRunning(left));
}

TEST_F(TarnfetchHostileServers, PiecesStayLockedUntilJoined) {
  // The first join waits until the second run has tried the same name.
  const fs::path waiting = temp() / "waiting", go = temp() / "go";
  programs_.Script("ffmpeg", "if mkdir '" + waiting.string() +
                                 "' 2>/dev/null; then\n  while [ ! -e '" + go.string() +
                                 "' ]; do sleep 0.01; done\nfi\nexec " + kFfmpeg + " \"$@\"");
  ExtractorAnswers(Apart("Same"));
  RunResult first;
  std::thread firstRun([&] { first = Fetch("/nothing.html", "5"); });
  for (int i = 0; i < 2000 && !fs::exists(waiting); ++i) std::this_thread::sleep_for(10ms);
  const RunResult second = Fetch("/nothing.html", "5");
  ExpectFailure(second, out() / "5");
  WriteFile(go, "");
  firstRun.join();
  EXPECT_NE(second.Text().find("Another download is already writing"), std::string::npos);
  EXPECT_EQ(first.exitCode, 0) << first.Text();
  EXPECT_EQ(FilesBelow(out() / "5"), std::vector<std::string>{"Same.mp4"});
}

TEST_F(TarnfetchHostileServers, AnFfmpegRunThatNeverEndsIsStoppedAtItsLimit) {
  EXPECT_GT(tarnfetch::FfmpegTimeLimit(10'000'000'000), tarnfetch::FfmpegTimeLimit(0));
  programs_.Script("ffmpeg", "exec sleep 600");
  const int input = open((temp() / "private.ts").c_str(), O_RDONLY | O_CLOEXEC);
  const int output = open(temp().c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  try {
    tarnfetch::RunFfmpegCopy(programs_.Dir() + "/ffmpeg", {{input}, output, "mp4", {}, "copy", 1s});
    ADD_FAILURE() << "no error";
  } catch (const tarnfetch::FetchError& error) {
    EXPECT_NE(std::string(error.what()).find("did not end within 1 seconds and was stopped"),
              std::string::npos)
        << error.what();
  }
  close(input);
  close(output);
}

// A file ffmpeg wrote to its end; anything cut short or padded is not. The
// length its header gives, where it gives one.
TEST_F(TarnfetchHostileServers, OnlyAFileWrittenToItsEndIsWhole) {
  const std::string mp4 = Clip("video.mp4"), mkv = Clip("video.mkv");
  using Row = std::tuple<std::string, const char*, bool, std::optional<double>>;
  for (const auto& [bytes, muxer, whole, seconds] :
       std::vector<Row>{{mp4, "mp4", true, 1.0},
                        {mp4.substr(0, mp4.size() - 1), "mp4", false, std::nullopt},
                        {mp4 + std::string(8, '\0'), "mp4", false, 1.0},
                        {mkv, "matroska", true, 1.0},
                        {mkv.substr(0, mkv.size() - 1), "matroska", false, 1.0},
                        {mp4, "matroska", false, std::nullopt}}) {
    const int fd = memfd_create("media", MFD_CLOEXEC);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    EXPECT_EQ(tarnfetch::IsWholeMediaFile(fd, muxer), whole) << muxer << " " << bytes.size();
    const auto length = tarnfetch::MediaDuration(fd, muxer);
    EXPECT_EQ(length.has_value(), seconds.has_value()) << muxer << " " << bytes.size();
    if (length && seconds) {
      EXPECT_NEAR(*length, *seconds, 0.15) << muxer << " " << bytes.size();
    }
    close(fd);
  }
}

}  // namespace
}  // namespace tarnfetch_test
