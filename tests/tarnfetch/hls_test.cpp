// The real tarnfetch fetching HLS streams from a loopback server: segments
// made by the real ffmpeg once for the whole program, then master
// playlists, sound apart from the picture, fragmented MP4, AES-128, byte
// ranges, retries, refusals and resumed runs.
#include <openssl/evp.h>

#include "support/TarnfetchTest.h"
#include "support/TestMedia.h"

namespace tarnfetch_test {
namespace {

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

// Three two-second segments of a six-second clip, as MPEG-TS and as
// fragmented MP4 (init.mp4 and three .m4s), and the same clip's picture
// and sound as two playlists of their own, made once per program.
struct Clips {
  Clips() {
    const std::string d = dir.path();
    const ClipKind clip{.seconds = 6};
    auto fmp4 = HlsOutput(d, "fm", 2, "fm%d.m4s");
    fmp4.insert(fmp4.begin(), {"-hls_segment_type", "fmp4", "-hls_fmp4_init_filename", "init.mp4"});
    if (!MakeClip(clip, HlsOutput(d, "ts", 2, "ts%d.ts")) || !MakeClip(clip, fmp4)) return;
    for (const auto& [name, bytes] : ReadHls(d + "/ts.m3u8").segments) ts.push_back(bytes);
    for (const auto& [name, bytes] : ReadHls(d + "/fm.m3u8").segments) fmp4s.push_back(bytes);
    init = ReadFile(d + "/init.mp4");
    WriteFile(d + "/all.ts", ts.at(0) + ts.at(1) + ts.at(2));
    std::vector<std::string> split{"-i", d + "/all.ts"};
    for (const std::string kind : {"v", "a"}) {
      split.insert(split.end(), {"-map", "0:" + kind, "-c", "copy"});
      const auto output = HlsOutput(d, kind, 2, kind + "%d.ts");
      split.insert(split.end(), output.begin(), output.end());
    }
    if (!RunFfmpeg(split)) return;
    picture = ReadHls(d + "/v.m3u8");
    sound = ReadHls(d + "/a.m3u8");
    // MPEG-TS lists its streams twice (program and file); MP4 once.
    WriteFile(d + "/all.mp4", init + fmp4s.at(0) + fmp4s.at(1) + fmp4s.at(2));
    frames = Ffprobe(d + "/all.mp4", "stream=codec_name,nb_read_frames", true);
  }
  TempDir dir;
  std::vector<std::string> ts;
  std::vector<std::string> fmp4s;
  std::string init;
  HlsFiles picture;
  HlsFiles sound;
  std::string frames;  // ffprobe's count of the whole clip
};

const Clips& clips() {
  static const Clips made;
  return made;
}

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

class TarnfetchHls : public TarnfetchTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(clips().ts.size(), 3u) << "the clips could not be made";
    ASSERT_EQ(clips().fmp4s.size(), 3u);
    ASSERT_GE(clips().picture.segments.size(), 2u) << clips().picture.playlist;
    ASSERT_GE(clips().sound.segments.size(), 2u) << clips().sound.playlist;
    ASSERT_EQ(clips().frames.rfind("h264,60\naac,", 0), 0u) << "six seconds at 10 frames a second";
    const auto& ts = clips().ts;
    const std::string key = "0123456789abcdef";
    const std::string key2 = "fedcba9876543210";
    const std::string iv(16, '\x42');
    for (const auto& [playlist, segments] :
         {std::pair{"/low/index.m3u8", "/low/low"}, std::pair{"/high/index.m3u8", "/high/high"},
          std::pair{"/seg/plain.m3u8", "/seg/ts"}, std::pair{"/flaky/flaky.m3u8", "/flaky/s"},
          std::pair{"/dead/dead.m3u8", "/dead/s"}, std::pair{"/held/held.m3u8", "/held/s"}}) {
      const std::string name = fs::path(segments).filename();
      Serve(playlist, MediaPlaylist(SegmentLines(name, ".ts")));
      for (std::size_t i = 0; i < 3; ++i) Serve(segments + std::to_string(i) + ".ts", ts[i]);
    }
    for (std::size_t i = 0; i < 3; ++i) {
      Serve("/seg/fm" + std::to_string(i) + ".m4s", clips().fmp4s[i]);
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
    Serve("/seg/init.mp4", clips().init);
    // Two keys: the first with its IV in the tag, the second taking the
    // media sequence number (5, 6) as IV.
    Serve("/aes/key1", key, "application/octet-stream");
    Serve("/aes/key2", key2, "application/octet-stream");
    Serve("/aes/a0.ts", Encrypt(ts[0], key, iv));
    Serve("/aes/a1.ts", Encrypt(ts[1], key2, SequenceIv(5)));
    Serve("/aes/a2.ts", Encrypt(ts[2], key2, SequenceIv(6)));
    Serve("/aes/aes.m3u8",
          MediaPlaylist(
              {"#EXT-X-MEDIA-SEQUENCE:4",
               "#EXT-X-KEY:METHOD=AES-128,URI=\"key1\",IV=0x42424242424242424242424242424242",
               "#EXTINF:2,", "a0.ts", "#EXT-X-KEY:METHOD=AES-128,URI=\"/aes/key2\"", "#EXTINF:2,",
               "a1.ts", "#EXT-X-DISCONTINUITY", "#EXTINF:2,", "a2.ts"}));
    // One file, three ranges: the second and third without "@offset".
    Serve("/range/all.ts", ts[0] + ts[1] + ts[2]);
    Serve("/range/range.m3u8",
          MediaPlaylist({"#EXTINF:2,", "#EXT-X-BYTERANGE:" + std::to_string(ts[0].size()) + "@0",
                         "all.ts", "#EXTINF:2,", "#EXT-X-BYTERANGE:" + std::to_string(ts[1].size()),
                         "all.ts", "#EXTINF:2,", "#EXT-X-BYTERANGE:" + std::to_string(ts[2].size()),
                         "all.ts"}));
    // Picture and sound apart. Renditions under nope/ are never to be
    // chosen: the variant's group's DEFAULT one wins, else its AUTOSELECT
    // one, else its first.
    for (const std::string folder : {"video", "audio", "held"}) {
      const HlsFiles& r = folder == "video" ? clips().picture : clips().sound;
      Serve("/apart/" + folder + "/index.m3u8", r.playlist);
      for (const auto& [name, bytes] : r.segments) Serve("/apart/" + folder + "/" + name, bytes);
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
          "</html>");
    Serve("/live.m3u8", MediaPlaylist(SegmentLines("seg/ts", ".ts"), false));
    Hold("/held/s2.ts");
    Hold(HeldSound());
    // /flaky/s1.ts fails twice, then works; /dead/s1.ts fails until
    // failing_ is cleared.
    Routes().Get(R"(/(flaky|dead)/s1.ts)",
                 [this](const httplib::Request& req, httplib::Response& res) {
                   if ((req.matches[1] == "flaky" && Count(req.path) <= 2) ||
                       (req.matches[1] == "dead" && failing_)) {
                     res.status = 503;
                     return;
                   }
                   res.set_content(clips().ts[1], "video/mp2t");
                 });
  }

  // A run with no ffmpeg to be found.
  RunResult FetchWithoutFfmpeg(const std::string& path) {
    const ScopedEnv noFfmpeg("PATH", temp());
    return Fetch(path);
  }
  static std::string HeldSound() { return "/apart/held/" + clips().sound.segments.back().first; }
  // The Referer of the last request for path ("" when it sent none).
  std::string LastReferer(const std::string& path) {
    std::string referer;
    for (const SeenRequest& request : Seen()) {
      if (request.path == path) referer = request.Header("Referer");
    }
    return referer;
  }
  static std::string Probe(const fs::path& file) {
    return Ffprobe(file, "stream=codec_name,nb_read_frames", true);
  }

  std::atomic<bool> failing_{true};
};

TEST_F(TarnfetchHls, StreamsBecomeOneFile) {
  const auto& ts = clips().ts;
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
       clips().init + clips().fmp4s[0] + clips().fmp4s[1] + clips().fmp4s[2]},
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
      EXPECT_EQ(Probe(out() / c.file), clips().frames);
    } else {
      EXPECT_TRUE(ReadFile(out() / c.file) == c.bytes);
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
  EXPECT_EQ(LastReferer("/seg/plain.m3u8"), Url("/"));
  EXPECT_EQ(LastReferer("/seg/ts2.ts"), Url("/"));
  EXPECT_EQ(LastReferer("/seg/fm2.m4s"), "");
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
    EXPECT_EQ(Probe(out() / c.file), clips().frames) << "one picture and one sound, all frames";
    EXPECT_NE(ReadFile(out() / c.file).substr(0, 8).find(c.container), std::string::npos);
  }
  EXPECT_EQ(Requested("/apart/nope/"), std::vector<std::string>{});
  EXPECT_EQ(Requested("/low/"), std::vector<std::string>{});
  EXPECT_EQ(Requested("/apart/audio/").size(), 3 * (clips().sound.segments.size() + 1));
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
  EXPECT_TRUE(ReadFile(out() / "dead.ts.part") == clips().ts[0]) << "segment 0 written";

  failing_ = false;
  ForgetRequests();
  const RunResult second = FetchWithoutFfmpeg("/dead/dead.m3u8");
  ASSERT_EQ(second.exitCode, 0) << second.Text();
  // Segment 0 only to compare it with the one written.
  EXPECT_EQ(Requested("/dead/s"),
            (std::vector<std::string>{"/dead/s0.ts", "/dead/s1.ts", "/dead/s2.ts"}));
  EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"dead.ts"});
  EXPECT_TRUE(ReadFile(out() / "dead.ts") == clips().ts[0] + clips().ts[1] + clips().ts[2]);
}

TEST_F(TarnfetchHls, AKilledRunContinuesAfterTheSegmentsItRecorded) {
  {
    const ScopedEnv noFfmpeg("PATH", temp());  // the joined bytes stay as they are
    // Segments 0 and 1 are written; 2 is held. Killed once the record says so.
    const fs::path control = out() / "held.ts.part.ctl";
    ASSERT_TRUE(KillWhen("/held/held.m3u8", [&] { return RecordsSegments(control, 2); }))
        << ReadFile(control);
  }
  const RunResult second = FetchWithoutFfmpeg("/held/held.m3u8");
  ASSERT_EQ(second.exitCode, 0) << second.Text();
  EXPECT_EQ(Requested("/held/s"), (std::vector<std::string>{"/held/s0.ts", "/held/s2.ts"}));
  EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{"held.ts"});
  EXPECT_TRUE(ReadFile(out() / "held.ts") == clips().ts[0] + clips().ts[1] + clips().ts[2]);
}

TEST_F(TarnfetchHls, AKilledRunOfPictureAndSoundContinuesBothWhereTheyStopped) {
  // The picture is complete, the sound but its last segment, which is held.
  const fs::path picture = out() / "held.mp4.video.part.ctl";
  const fs::path sound = out() / "held.mp4.audio.part.ctl";
  ASSERT_TRUE(KillWhen("/apart/held.m3u8",
                       [&] {
                         return RecordsSegments(picture, clips().picture.segments.size()) &&
                                RecordsSegments(sound, clips().sound.segments.size() - 1);
                       }))
      << ReadFile(picture) << ReadFile(sound);

  const RunResult second = Fetch("/apart/held.m3u8");
  ExpectOnlyFile(second, "held.mp4");
  // The first segments only to compare them with those written.
  EXPECT_EQ(Requested("/apart/held/"),
            (std::vector<std::string>{"/apart/held/a0.ts", HeldSound(), "/apart/held/index.m3u8"}));
  EXPECT_EQ(Requested("/apart/video/"),
            (std::vector<std::string>{"/apart/video/index.m3u8", "/apart/video/v0.ts"}));
  EXPECT_EQ(Probe(out() / "held.mp4"), clips().frames);
}

}  // namespace
}  // namespace tarnfetch_test
