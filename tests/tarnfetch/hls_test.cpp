// The real tarnfetch fetching HLS streams from a loopback server: segments
// made by the real ffmpeg once for the whole program, then master
// playlists, sound apart from the picture, fragmented MP4, AES-128, byte
// ranges, retries, refusals and resumed runs.
#include <openssl/evp.h>

#include <condition_variable>
#include <map>
#include <mutex>

#include "TarnfetchHarness.h"

namespace tarnfetch_test {
namespace {

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const std::string kFfmpeg = "/usr/bin/ffmpeg";
const std::string kFfprobe = "/usr/bin/ffprobe";

std::string Encrypt(const std::string& plain, const std::string& key, const std::string& iv) {
  EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
  std::string out(plain.size() + 16, '\0');
  int first = 0;
  int last = 0;
  const auto* k = reinterpret_cast<const unsigned char*>(key.data());
  EVP_EncryptInit_ex(context, EVP_aes_128_cbc(), nullptr, k,
                     reinterpret_cast<const unsigned char*>(iv.data()));
  EVP_EncryptUpdate(context, reinterpret_cast<unsigned char*>(out.data()), &first,
                    reinterpret_cast<const unsigned char*>(plain.data()),
                    static_cast<int>(plain.size()));
  EVP_EncryptFinal_ex(context, reinterpret_cast<unsigned char*>(out.data()) + first, &last);
  EVP_CIPHER_CTX_free(context);
  out.resize(static_cast<std::size_t>(first + last));
  return out;
}

// The IV HLS takes from a media sequence number.
std::string SequenceIv(unsigned number) {
  std::string iv(16, '\0');
  iv[15] = static_cast<char>(number);
  return iv;
}

// A media playlist as ffmpeg wrote it and its segments by name.
struct Rendition {
  std::string playlist;
  std::vector<std::pair<std::string, std::string>> segments;
};

// Three two-second segments of a six-second clip, as MPEG-TS and as
// fragmented MP4 (init.mp4 and three .m4s), and the same clip's picture
// and sound as two playlists of their own, made once per program.
struct Clips {
  TempDir dir;
  std::vector<std::string> ts;
  std::vector<std::string> fmp4;
  std::string init;
  Rendition picture;
  Rendition sound;
  std::string frames;  // ffprobe's count of the whole clip
};

Clips* clips = nullptr;

std::string MediaPlaylist(const std::vector<std::string>& lines, bool ended = true) {
  std::string text = "#EXTM3U\n#EXT-X-VERSION:7\n#EXT-X-TARGETDURATION:2\n";
  for (const auto& line : lines) text += line + "\n";
  if (ended) text += "#EXT-X-ENDLIST\n";
  return text;
}

std::vector<std::string> SegmentLines(const std::string& prefix, const std::string& suffix) {
  std::vector<std::string> lines;
  for (int i = 0; i < 3; ++i) {
    lines.push_back("#EXTINF:2.0,");
    lines.push_back(prefix + std::to_string(i) + suffix);
  }
  return lines;
}

class TarnfetchHls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    clips = new Clips;
    const std::string d = clips->dir.path();
    const std::vector<std::string> source{kFfmpeg,
                                          "-v",
                                          "error",
                                          "-f",
                                          "lavfi",
                                          "-i",
                                          "testsrc=size=64x48:rate=10",
                                          "-f",
                                          "lavfi",
                                          "-i",
                                          "sine=frequency=440:sample_rate=22050",
                                          "-t",
                                          "6",
                                          "-c:v",
                                          "libx264",
                                          "-g",
                                          "10",
                                          "-c:a",
                                          "aac",
                                          "-b:a",
                                          "32k",
                                          "-f",
                                          "hls",
                                          "-hls_time",
                                          "2",
                                          "-hls_playlist_type",
                                          "vod"};
    auto ts = source;
    ts.insert(ts.end(), {"-hls_segment_filename", d + "/ts%d.ts", d + "/ts.m3u8"});
    auto fmp4 = source;
    fmp4.insert(fmp4.end(), {"-hls_segment_type", "fmp4", "-hls_fmp4_init_filename", "init.mp4",
                             "-hls_segment_filename", d + "/fm%d.m4s", d + "/fm.m3u8"});
    ASSERT_TRUE(RunProgram(ts).exitCode == 0 && RunProgram(fmp4).exitCode == 0)
        << "ffmpeg could not make the test clips";
    for (int i = 0; i < 3; ++i) {
      clips->ts.push_back(Read(d + "/ts" + std::to_string(i) + ".ts"));
      clips->fmp4.push_back(Read(d + "/fm" + std::to_string(i) + ".m4s"));
      ASSERT_FALSE(clips->ts.back().empty() || clips->fmp4.back().empty());
    }
    clips->init = Read(d + "/init.mp4");
    WriteFile(d + "/all.ts", clips->ts[0] + clips->ts[1] + clips->ts[2]);
    std::vector<std::string> split{kFfmpeg, "-v", "error", "-i", d + "/all.ts"};
    for (const std::string kind : {"v", "a"}) {
      split.insert(split.end(), {"-map", "0:" + kind, "-c", "copy", "-f", "hls", "-hls_time", "2",
                                 "-hls_playlist_type", "vod", "-hls_segment_filename",
                                 d + "/" + kind + "%d.ts", d + "/" + kind + ".m3u8"});
    }
    ASSERT_EQ(RunProgram(split).exitCode, 0) << "ffmpeg could not split the clip";
    for (Rendition* r : {&clips->picture, &clips->sound}) {
      r->playlist = Read(d + (r == &clips->picture ? "/v.m3u8" : "/a.m3u8"));
      std::istringstream lines(r->playlist);
      for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] != '#') r->segments.emplace_back(line, Read(d + "/" + line));
      }
      ASSERT_GE(r->segments.size(), 2u) << r->playlist;
    }
    // MPEG-TS lists its streams twice (program and file); MP4 once.
    WriteFile(d + "/all.mp4", clips->init + clips->fmp4[0] + clips->fmp4[1] + clips->fmp4[2]);
    clips->frames = Probe(d + "/all.mp4");
    ASSERT_EQ(clips->frames.rfind("h264,60\naac,", 0), 0u) << "six seconds at 10 frames a second";
  }
  static void TearDownTestSuite() {
    delete clips;
    clips = nullptr;
  }

  void SetUp() override {
    // A failed shared set-up would otherwise only skip the tests.
    ASSERT_EQ(clips->ts.size(), 3u) << "the clips could not be made";
    const auto& ts = clips->ts;
    const std::string key = "0123456789abcdef";
    const std::string key2 = "fedcba9876543210";
    const std::string iv(16, '\x42');
    Serve("/low/index.m3u8", MediaPlaylist(SegmentLines("low", ".ts")));
    Serve("/high/index.m3u8", MediaPlaylist(SegmentLines("high", ".ts")));
    for (int i = 0; i < 3; ++i) {
      const std::string n = std::to_string(i);
      Serve("/low/low" + n + ".ts", ts[static_cast<std::size_t>(i)], "video/mp2t");
      Serve("/high/high" + n + ".ts", ts[static_cast<std::size_t>(i)], "video/mp2t");
      Serve("/seg/ts" + n + ".ts", ts[static_cast<std::size_t>(i)], "video/mp2t");
      Serve("/seg/fm" + n + ".m4s", clips->fmp4[static_cast<std::size_t>(i)], "video/iso.segment");
    }
    Serve("/master.m3u8",
          "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=900000,RESOLUTION=64x48\nhigh/index.m3u8\n"
          "#EXT-X-STREAM-INF:BANDWIDTH=900000,RESOLUTION=32x24\nlow/index.m3u8\n"
          "#EXT-X-STREAM-INF:BANDWIDTH=200000,RESOLUTION=640x480\nlow/index.m3u8\n");
    Serve("/seg/fmp4.m3u8", MediaPlaylist([] {
            auto lines = SegmentLines("fm", ".m4s");
            lines.insert(lines.begin(), "#EXT-X-MAP:URI=\"init.mp4\"");
            return lines;
          }()));
    Serve("/seg/init.mp4", clips->init, "video/mp4");
    Serve("/seg/plain.m3u8", MediaPlaylist(SegmentLines("ts", ".ts")));
    // Two keys: the first with its IV in the tag, the second taking the
    // media sequence number (5, 6) as IV.
    Serve("/aes/key1", key, "application/octet-stream");
    Serve("/aes/key2", key2, "application/octet-stream");
    Serve("/aes/a0.ts", Encrypt(ts[0], key, iv), "video/mp2t");
    Serve("/aes/a1.ts", Encrypt(ts[1], key2, SequenceIv(5)), "video/mp2t");
    Serve("/aes/a2.ts", Encrypt(ts[2], key2, SequenceIv(6)), "video/mp2t");
    Serve("/aes/aes.m3u8",
          MediaPlaylist(
              {"#EXT-X-MEDIA-SEQUENCE:4",
               "#EXT-X-KEY:METHOD=AES-128,URI=\"key1\",IV=0x42424242424242424242424242424242",
               "#EXTINF:2,", "a0.ts", "#EXT-X-KEY:METHOD=AES-128,URI=\"/aes/key2\"", "#EXTINF:2,",
               "a1.ts", "#EXT-X-DISCONTINUITY", "#EXTINF:2,", "a2.ts"}));
    // One file, three ranges: the second and third without "@offset".
    Serve("/range/all.ts", ts[0] + ts[1] + ts[2], "video/mp2t");
    Serve("/range/range.m3u8",
          MediaPlaylist({"#EXTINF:2,", "#EXT-X-BYTERANGE:" + std::to_string(ts[0].size()) + "@0",
                         "all.ts", "#EXTINF:2,", "#EXT-X-BYTERANGE:" + std::to_string(ts[1].size()),
                         "all.ts", "#EXTINF:2,", "#EXT-X-BYTERANGE:" + std::to_string(ts[2].size()),
                         "all.ts"}));
    // Picture and sound apart. Renditions under nope/ are never to be
    // chosen: the variant's group's DEFAULT one wins, else its AUTOSELECT
    // one, else its first.
    for (const std::string folder : {"video", "audio", "held"}) {
      const Rendition& r = folder == "video" ? clips->picture : clips->sound;
      Serve("/apart/" + folder + "/index.m3u8", r.playlist);
      for (const auto& [name, bytes] : r.segments) {
        Serve("/apart/" + folder + "/" + name, bytes, "video/mp2t");
      }
    }
    const std::string lowVariant =
        "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"low\",NAME=\"Low\",DEFAULT=YES,URI=\"nope/low.m3u8\"\n"
        "#EXT-X-STREAM-INF:BANDWIDTH=100000,AUDIO=\"low\"\n/low/index.m3u8\n";
    const auto apart = [&](const std::string& renditions, const std::string& attributes,
                           const std::string& variant = "video/index.m3u8") {
      std::string text = "#EXTM3U\n#EXT-X-INDEPENDENT-SEGMENTS\n";
      std::istringstream lines(renditions);
      for (std::string line; std::getline(lines, line);) {
        text += "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"aud\"," + line + "\n";
      }
      return text + lowVariant +
             "#EXT-X-STREAM-INF:BANDWIDTH=900000,RESOLUTION=64x48,AUDIO=\"aud\"" + attributes +
             "\n" + variant + "\n";
    };
    Serve("/apart/default.m3u8",
          apart("NAME=\"Other\",AUTOSELECT=YES,URI=\"nope/other.m3u8\"\n"
                "NAME=\"Main\",LANGUAGE=\"en\",DEFAULT=YES,AUTOSELECT=YES,URI=\"audio/index.m3u8\"",
                ",CODECS=\"avc1.64000a,mp4a.40.2\""));
    Serve("/apart/autoselect.m3u8",
          apart("NAME=\"Other\",URI=\"nope/other.m3u8\"\n"
                "NAME=\"Main\",AUTOSELECT=YES,URI=\"/apart/audio/index.m3u8\"",
                ",CODECS=\"avc1.64000a,opus\""));
    Serve("/apart/first.m3u8", apart("NAME=\"Main\",URI=\"audio/index.m3u8\"\n"
                                     "NAME=\"Other\",URI=\"nope/other.m3u8\"",
                                     ""));
    Serve("/apart/inside.m3u8",
          apart("NAME=\"Main\",DEFAULT=YES\nNAME=\"Other\",AUTOSELECT=YES,URI=\"nope/other.m3u8\"",
                "", "/high/index.m3u8"));
    Serve("/apart/liveaudio.m3u8", apart("NAME=\"Main\",DEFAULT=YES,URI=\"/live.m3u8\"", ""));
    Serve("/apart/held.m3u8", apart("NAME=\"Main\",DEFAULT=YES,URI=\"held/index.m3u8\"", ""));
    Serve("/page.html",
          "<html><head><title>Stream page</title></head><body>"
          "<video><source src=\"seg/plain.m3u8\" type=\"application/x-mpegURL\"></video></body>"
          "</html>",
          "text/html");
    Serve("/live.m3u8", MediaPlaylist(SegmentLines("seg/ts", ".ts"), false));
    // /flaky: its second segment fails twice, then works. /dead: its second
    // segment fails until failing_ is cleared.
    for (const std::string folder : {"flaky", "dead"}) {
      Serve("/" + folder + "/" + folder + ".m3u8", MediaPlaylist(SegmentLines("s", ".ts")));
      for (int i = 0; i < 3; ++i) {
        Serve("/" + folder + "/s" + std::to_string(i) + ".ts", ts[static_cast<std::size_t>(i)],
              "video/mp2t");
      }
    }
    Serve("/held/held.m3u8", MediaPlaylist(SegmentLines("s", ".ts")));
    for (int i = 0; i < 3; ++i) {
      Serve("/held/s" + std::to_string(i) + ".ts", ts[static_cast<std::size_t>(i)], "video/mp2t");
    }
    server_.Routes().Get(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
      std::unique_lock lock(mutex_);
      requests_.push_back(req.path);
      referers_[req.path] = req.get_header_value("Referer");
      // /held/s2.ts and the last sound segment under /apart/held/ wait
      // until the test releases them.
      if (req.path == "/held/s2.ts" || req.path == HeldSound()) {
        released_.wait_for(lock, std::chrono::seconds(20), [this] { return !holding_; });
      }
      const int seen = static_cast<int>(std::count(requests_.begin(), requests_.end(), req.path));
      if ((req.path == "/flaky/s1.ts" && seen <= 2) || (req.path == "/dead/s1.ts" && failing_)) {
        res.status = 503;
        return;
      }
      const auto found = content_.find(req.path);
      if (found == content_.end()) {
        res.status = 404;
        return;
      }
      res.set_content(found->second.first, found->second.second);
    });
  }

  void Serve(const std::string& path, std::string body,
             std::string type = "application/vnd.apple.mpegurl") {
    content_[path] = {std::move(body), std::move(type)};
  }

  RunResult Fetch(const std::string& path) {
    return RunTarnfetch({server_.Url(path), "-p", (out() / "%(title)s.%(ext)s").string()});
  }
  // The same with no ffmpeg to be found.
  RunResult FetchWithoutFfmpeg(const std::string& path) {
    const std::string saved = std::getenv("PATH");
    setenv("PATH", temp_.Path().c_str(), 1);
    RunResult run = Fetch(path);
    setenv("PATH", saved.c_str(), 1);
    return run;
  }
  std::vector<std::string> Requested(const std::string& prefix) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> found;
    for (const auto& path : requests_) {
      if (path.rfind(prefix, 0) == 0) found.push_back(path);
    }
    std::sort(found.begin(), found.end());
    return found;
  }
  fs::path out() const { return temp_.Path() / "out"; }
  static std::string HeldSound() { return "/apart/held/" + clips->sound.segments.back().first; }
  void Release() {
    {
      std::lock_guard lock(mutex_);
      holding_ = false;
    }
    released_.notify_all();
  }
  void TearDown() override { Release(); }

  // A finished run: its one file in the folder, named on the filename
  // line, the percent never going back and 100 only once, at the end.
  void ExpectOnlyFile(const RunResult& run, const std::string& file) {
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    ExpectWellFormedOutput(run);
    EXPECT_EQ(run.Starting("<filename>"),
              std::vector<std::string>{"<filename>" + (out() / file).string() + "</filename>"});
    EXPECT_EQ(run.lines.back().rfind("<speed> 100.0% of ", 0), 0u) << run.Text();
    EXPECT_EQ(run.Text().find("100.0%"), run.Text().rfind("100.0%")) << "100 % only once";
    double percent = 0;
    for (const auto& line : run.Starting("<speed> ")) {
      EXPECT_GE(std::stod(line.substr(8)), percent) << run.Text();
      percent = std::stod(line.substr(8));
    }
    EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{file});
  }

  // Waits (at most 20 s) until each control file records its number of
  // segments written, then kills the run, lets held segments go and
  // forgets the requests so far.
  void KillOnceRecorded(ConsoleProcess& run,
                        const std::vector<std::pair<fs::path, std::size_t>>& records) {
    const auto recorded = [&records] {
      return std::all_of(records.begin(), records.end(), [](const auto& record) {
        const std::string line = "value segments " + std::to_string(record.second) + "\n";
        return Read(record.first).find(line) != std::string::npos;
      });
    };
    for (int i = 0; i < 400 && !recorded(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const bool reached = recorded();
    run.Terminate();
    run.Wait(std::chrono::seconds(10));
    Release();
    {
      std::lock_guard lock(mutex_);
      requests_.clear();
    }
    ASSERT_TRUE(reached) << Read(records.front().first) << Read(records.back().first);
  }

  // Frames and codecs of a finished file, by the real ffprobe.
  static std::string Probe(const fs::path& file) {
    const RunResult run =
        RunProgram({kFfprobe, "-v", "error", "-count_frames", "-show_entries",
                    "stream=codec_name,nb_read_frames", "-of", "csv=p=0", file.string()});
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    return run.Text();
  }

  LoopbackServer server_;
  TempFolder temp_;
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::map<std::string, std::string> referers_;  // the last one of each path
  bool failing_ = true;
  bool holding_ = true;
  std::condition_variable released_;
  std::map<std::string, std::pair<std::string, std::string>> content_;
};

TEST_F(TarnfetchHls, StreamsBecomeOneFile) {
  const auto& ts = clips->ts;
  const std::string allTs = ts[0] + ts[1] + ts[2];
  struct Case {
    std::string path;
    bool ffmpeg;
    std::string file;   // the final name
    std::string bytes;  // without ffmpeg: exactly these; with it: checked by ffprobe
  };
  const std::vector<Case> cases{
      {"/master.m3u8", true, "master.mp4", ""},
      {"/seg/fmp4.m3u8", true, "fmp4.mp4", ""},
      {"/seg/fmp4.m3u8", false, "fmp4.mp4",
       clips->init + clips->fmp4[0] + clips->fmp4[1] + clips->fmp4[2]},
      {"/aes/aes.m3u8", false, "aes.ts", allTs},
      {"/range/range.m3u8", false, "range.ts", allTs},
      {"/flaky/flaky.m3u8", true, "flaky.mp4", ""},
      {"/page.html", true, "Stream page.mp4", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + (c.ffmpeg ? " with ffmpeg" : " without ffmpeg"));
    fs::remove_all(out());
    const RunResult run = c.ffmpeg ? Fetch(c.path) : FetchWithoutFfmpeg(c.path);
    ExpectOnlyFile(run, c.file);
    if (c.ffmpeg) {
      EXPECT_EQ(Probe(out() / c.file), clips->frames);
    } else {
      EXPECT_TRUE(Read(out() / c.file) == c.bytes);
    }
  }
  // Only the better variant was fetched, each key once, each segment once
  // but the flaky one (two failures, then its answer).
  EXPECT_EQ(Requested("/low/"), std::vector<std::string>{});
  EXPECT_EQ(Requested("/high/").size(), 4u);
  EXPECT_EQ(Requested("/aes/key"), (std::vector<std::string>{"/aes/key1", "/aes/key2"}));
  EXPECT_EQ(Requested("/flaky/s1.ts").size(), 3u);
  EXPECT_EQ(Requested("/range/all.ts").size(), 3u);
  // A stream named on a page carries the page's origin as its Referer, one
  // given directly none.
  std::lock_guard lock(mutex_);
  EXPECT_EQ(referers_["/seg/plain.m3u8"], server_.Url("/"));
  EXPECT_EQ(referers_["/seg/ts2.ts"], server_.Url("/"));
  EXPECT_EQ(referers_["/seg/fm2.m4s"], "");
}

TEST_F(TarnfetchHls, SoundApartFromThePictureIsJoinedIntoOneFile) {
  struct Case {
    std::string path;
    std::string file;
    std::string container;  // the file's first bytes tell MP4 from Matroska
  };
  const std::string mp4 = "ftyp";
  const std::string matroska = "\x1A\x45\xDF\xA3";
  for (const Case& c : std::vector<Case>{
           {"/apart/default.m3u8", "default.mp4", mp4},
           {"/apart/autoselect.m3u8", "autoselect.mkv", matroska},  // opus: not for MP4
           {"/apart/first.m3u8", "first.mp4", mp4},
           {"/apart/inside.m3u8", "inside.mp4", mp4},  // the variant carries its sound
       }) {
    SCOPED_TRACE(c.path);
    fs::remove_all(out());
    const RunResult run = Fetch(c.path);
    ExpectOnlyFile(run, c.file);
    EXPECT_EQ(Probe(out() / c.file), clips->frames) << "one picture and one sound, all frames";
    EXPECT_NE(Read(out() / c.file).substr(0, 8).find(c.container), std::string::npos);
  }
  EXPECT_EQ(Requested("/apart/nope/"), std::vector<std::string>{});
  EXPECT_EQ(Requested("/low/"), std::vector<std::string>{});
  EXPECT_EQ(Requested("/apart/audio/").size(), 3 * (clips->sound.segments.size() + 1));
  EXPECT_EQ(Requested("/high/").size(), 4u);
}

TEST_F(TarnfetchHls, UnusableStreamsAreRefusedWithAReason) {
  struct Case {
    std::string path;
    std::string reason;
    bool ffmpeg = true;
  };
  for (const Case& c : std::vector<Case>{
           {"/live.m3u8", "The stream is live"},
           {"/apart/liveaudio.m3u8", "The stream is live"},
           // The picture alone must not pass for the video.
           {"/apart/default.m3u8", "ffmpeg is needed to join this stream's picture and sound",
            false},
       }) {
    SCOPED_TRACE(c.path);
    const RunResult run = c.ffmpeg ? Fetch(c.path) : FetchWithoutFfmpeg(c.path);
    ExpectFailure(run, out());
    EXPECT_NE(run.Text().find(c.reason), std::string::npos) << run.Text();
    EXPECT_FALSE(fs::exists(out()) && !fs::is_empty(out())) << "no file, not even a part";
    for (const auto& path : Requested("/")) {
      EXPECT_TRUE(EndsWith(path, ".m3u8")) << path << ": nothing but playlists fetched";
    }
  }
}

TEST_F(TarnfetchHls, AFailedSegmentEndsTheRunAndTheNextRunContinuesAfterTheWrittenOnes) {
  const RunResult first = FetchWithoutFfmpeg("/dead/dead.m3u8");
  ExpectFailure(first, out());
  EXPECT_NE(first.Text().find("HTTP 503"), std::string::npos) << first.Text();
  EXPECT_EQ(Requested("/dead/s1.ts").size(), 4u) << "one try and three retries";
  EXPECT_EQ(FilesBelow(out()), (std::vector<std::string>{"dead.ts.part", "dead.ts.part.ctl"}));
  EXPECT_TRUE(Read(out() / "dead.ts.part") == clips->ts[0]) << "segment 0 written";

  {
    std::lock_guard lock(mutex_);
    failing_ = false;
    requests_.clear();
  }
  const RunResult second = FetchWithoutFfmpeg("/dead/dead.m3u8");
  ASSERT_EQ(second.exitCode, 0) << second.Text();
  // Segment 0 only to compare it with the one written.
  EXPECT_EQ(Requested("/dead/s"),
            (std::vector<std::string>{"/dead/s0.ts", "/dead/s1.ts", "/dead/s2.ts"}));
  EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"dead.ts"});
  EXPECT_TRUE(Read(out() / "dead.ts") == clips->ts[0] + clips->ts[1] + clips->ts[2]);
}

TEST_F(TarnfetchHls, AKilledRunContinuesAfterTheSegmentsItRecorded) {
  const std::string saved = std::getenv("PATH");
  setenv("PATH", temp_.Path().c_str(), 1);  // no ffmpeg: the joined bytes stay as they are
  ConsoleProcess first;
  ASSERT_TRUE(first.Start(
      {kTarnfetch, server_.Url("/held/held.m3u8"), "-p", (out() / "%(title)s.%(ext)s").string()},
      ConsoleProcess::Stdin::Null));
  setenv("PATH", saved.c_str(), 1);
  // Segments 0 and 1 are written; 2 is held. Wait for the record to say so.
  ASSERT_NO_FATAL_FAILURE(KillOnceRecorded(first, {{out() / "held.ts.part.ctl", 2}}));

  const RunResult second = FetchWithoutFfmpeg("/held/held.m3u8");
  ASSERT_EQ(second.exitCode, 0) << second.Text();
  EXPECT_EQ(Requested("/held/s"), (std::vector<std::string>{"/held/s0.ts", "/held/s2.ts"}));
  EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"held.ts"});
  EXPECT_TRUE(Read(out() / "held.ts") == clips->ts[0] + clips->ts[1] + clips->ts[2]);
}

TEST_F(TarnfetchHls, AKilledRunOfPictureAndSoundContinuesBothWhereTheyStopped) {
  ConsoleProcess first;
  ASSERT_TRUE(first.Start(
      {kTarnfetch, server_.Url("/apart/held.m3u8"), "-p", (out() / "%(title)s.%(ext)s").string()},
      ConsoleProcess::Stdin::Null));
  // The picture is complete, the sound but its last segment, which is held.
  ASSERT_NO_FATAL_FAILURE(KillOnceRecorded(
      first, {{out() / "held.mp4.video.part.ctl", clips->picture.segments.size()},
              {out() / "held.mp4.audio.part.ctl", clips->sound.segments.size() - 1}}));

  const RunResult second = Fetch("/apart/held.m3u8");
  ExpectOnlyFile(second, "held.mp4");
  // The first segments only to compare them with those written.
  EXPECT_EQ(Requested("/apart/held/"),
            (std::vector<std::string>{"/apart/held/a0.ts", HeldSound(), "/apart/held/index.m3u8"}));
  EXPECT_EQ(Requested("/apart/video/"),
            (std::vector<std::string>{"/apart/video/index.m3u8", "/apart/video/v0.ts"}));
  EXPECT_EQ(Probe(out() / "held.mp4"), clips->frames);
}

}  // namespace
}  // namespace tarnfetch_test
