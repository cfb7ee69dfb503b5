// The real tarnfetch fetching DASH streams from a loopback server:
// manifests written by the real ffmpeg once for the whole program (segment
// templates with numbers and with a timeline, one file with byte ranges)
// and by hand (a single file, two periods, live, DRM), pages with DASH
// players, and a killed run continued.
#include <regex>
#include <tuple>

#include "support/TarnfetchTest.h"
#include "support/TestMedia.h"

namespace tarnfetch_test {
namespace {

// A six-second clip with picture and sound as DASH, three ways, in folders
// tl/, num/ and one/ of a temporary folder made once per program.
struct Media {
  Media() {
    for (const auto& [folder, way] : std::initializer_list<std::pair<const char*, const char*>>{
             {"tl", "-use_timeline"}, {"num", "-use_timeline"}, {"one", "-single_file"}}) {
      fs::create_directories(dir.file(folder));
      made += MakeClip({.seconds = 6},
                       {"-map", "0", "-map", "1", "-f", "dash", "-seg_duration", "2",
                        "-adaptation_sets", "id=0,streams=v id=1,streams=a", way,
                        folder == std::string("num") ? "0" : "1", dir.file(folder) + "/m.mpd"});
    }
  }
  TempDir dir;
  int made = 0;
};

const Media& media() {
  static const Media made;
  return made;
}

class TarnfetchDash : public TarnfetchTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(media().made, 3) << "ffmpeg could not make the clips";
    // The last picture segment of /held/ waits until released.
    Hold("/held/chunk-stream0-00003.m4s");
    Routes().set_mount_point("/", media().dir.path());
    Routes().set_mount_point("/held", media().dir.file("num"));
    Routes().set_file_extension_and_mimetype_mapping("mpd", "application/dash+xml");
  }

  // The one file of a run on path holds picture and sound of the clip (or
  // of as many seconds).
  void ExpectTheClip(const std::string& path, const std::string& name, double seconds = 6.0) {
    SCOPED_TRACE(path);
    ExpectSuccess(Fetch(path));
    EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{name});
    const std::string probe = Ffprobe(out() / name, "stream=codec_type:format=duration");
    std::istringstream lines(probe);
    std::string video, audio, duration;
    lines >> video >> audio >> duration;
    EXPECT_EQ(video + " " + audio, "video audio") << probe;
    EXPECT_NEAR(std::atof(duration.c_str()), seconds, 0.6) << probe;
    fs::remove_all(out());
  }

  // The manifest of num/ with its addresses made absolute and `change`
  // applied to its text.
  std::string NumManifest(const std::function<void(std::string&)>& change = {}) {
    std::string text = ReadFile(media().dir.file("num/m.mpd"));
    text = std::regex_replace(text, std::regex("<Period "),
                              "<BaseURL>" + Url("/num/") + "</BaseURL><Period ");
    if (change) change(text);
    return text;
  }

  // num/'s one period as periods, each with its attributes and its
  // segment templates' numbering, and the whole's declared length.
  std::string Periods(const std::vector<std::pair<std::string, std::string>>& periods,
                      const std::string& whole) {
    return NumManifest([&](std::string& text) {
      const std::size_t start = text.find("<Period ");
      const std::size_t end = text.find("</Period>") + 9;
      const std::string period = text.substr(start, end - start);
      std::string joined;
      for (const auto& [attributes, numbering] : periods) {
        joined += std::regex_replace(
            std::regex_replace(period, std::regex("<Period [^>]*>"), "<Period " + attributes + ">"),
            std::regex("startNumber=\"1\""), numbering);
      }
      text.replace(start, end - start, joined);
      text = std::regex_replace(text, std::regex("mediaPresentationDuration=\"[^\"]*\""),
                                "mediaPresentationDuration=\"" + whole + "\"");
    });
  }
};

TEST_F(TarnfetchDash, EachKindOfManifestBecomesOneFileWithPictureAndSound) {
  const std::string one = Url("/one/");
  Serve("/hand/base.mpd",
        "<MPD type=\"static\" mediaPresentationDuration=\"PT6S\"><Period><AdaptationSet "
        "mimeType=\"video/mp4\"><Representation id=\"v\" bandwidth=\"1\"><BaseURL>" +
            one +
            "m-stream0.mp4</BaseURL><SegmentBase indexRange=\"700-800\"/></Representation>"
            "</AdaptationSet><AdaptationSet mimeType=\"audio/mp4\"><Representation id=\"a\" "
            "bandwidth=\"1\"><BaseURL>" +
            one +
            "m-stream1.mp4</BaseURL><SegmentBase/></Representation></AdaptationSet>"
            "</Period></MPD>");
  // The same clip cut into two periods of 4 and 2 seconds: the second's
  // media begins 4 s into its clock.
  Serve("/hand/periods.mpd",
        Periods({{"duration=\"PT4S\"", "startNumber=\"1\""},
                 {"id=\"2\"", "startNumber=\"3\" presentationTimeOffset=\"4000000\""}},
                "PT6S"));
  Serve("/hand/clip", NumManifest(), "video/vnd.mpeg.dash.mpd");
  Serve("/hand/sneaky", NumManifest(), "video/mp4");
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
  for (const auto& [path, name] : cases) ASSERT_NO_FATAL_FAILURE(ExpectTheClip(path, name));
}

// Two periods of the whole clip, each on a clock from 0, last as long as
// both; a join that does not last what the manifest declares is refused
// before the parts go.
TEST_F(TarnfetchDash, PeriodsKeepTheirTimeAndTheJoinMustLastAsDeclared) {
  const std::pair<std::string, std::string> clip{"duration=\"PT6S\"", "startNumber=\"1\""};
  Serve("/hand/twice.mpd", Periods({clip, clip}, "PT12S"));
  Serve("/hand/wrong.mpd", Periods({clip, clip}, "PT20S"));
  ExpectTheClip("/hand/twice.mpd", "twice.mp4", 12.0);
  ExpectFailure(Fetch("/hand/wrong.mpd"), out(), "not the 20.00 seconds the manifest gives");
  EXPECT_EQ(FilesBelow(out()),
            (std::vector<std::string>{"wrong.mp4.audio.part", "wrong.mp4.audio.part.ctl",
                                      "wrong.mp4.video.part", "wrong.mp4.video.part.ctl"}));
}

TEST_F(TarnfetchDash, LiveAndProtectedManifestsAreRefusedWithNothingLeft) {
  Serve("/hand/live.mpd", NumManifest([](std::string& text) {
          text = std::regex_replace(text, std::regex("type=\"static\""), "type=\"dynamic\"");
        }));
  Serve("/hand/drm.mpd", NumManifest([](std::string& text) {
          text = std::regex_replace(
              text, std::regex("(<Representation id=\"0\"[^>]*>)"),
              "$1<ContentProtection schemeIdUri=\"urn:mpeg:dash:mp4protection:2011\"/>");
        }));
  const std::pair<const char*, const char*> cases[] = {{"/hand/live.mpd", "live"},
                                                       {"/hand/drm.mpd", "DRM"}};
  for (const auto& [path, words] : cases) {
    SCOPED_TRACE(path);
    ExpectFailure(Fetch(path), out(), words);
    EXPECT_FALSE(fs::exists(out())) << "refused before anything was written";
  }
}

TEST_F(TarnfetchDash, PagesWithDashPlayersLeadToTheStream) {
  const std::string num = Url("/num/m.mpd");
  const std::string tl = Url("/tl/m.mpd");
  const std::tuple<const char*, std::string, const char*> pages[] = {
      {"/hand/dashjs.html",
       "<title>Dash page</title><video id=v></video><script>"
       "var p = dashjs.MediaPlayer().create(); p.initialize(document."
       "querySelector('#v'), \"" +
           num + "\", true);</script>",
       "Dash page.mp4"},
      {"/hand/shaka.html",
       "<title>Shaka page</title><script>const player = new shaka.Player(v);"
       "player.load('" +
           tl + "').then(() => {});</script>",
       "Shaka page.mp4"},
      {"/hand/source.html",
       "<title>Source page</title><video><source src=\"/num/m.mpd\" "
       "type=\"application/dash+xml\"></video>",
       "Source page.mp4"},
      {"/hand/embed.html",
       "<title>Embed page</title><script type=\"application/ld+json\">"
       "{\"@type\": \"VideoObject\", \"name\": \"x\", \"embedUrl\": \"" +
           Url("/hand/dashjs.html") + "\"}</script>",
       "Embed page.mp4"},
  };
  for (const auto& [path, html, file] : pages) Serve(path, html);
  for (const auto& [path, html, file] : pages) ASSERT_NO_FATAL_FAILURE(ExpectTheClip(path, file));
}

// The site extractor's DASH formats: by their pieces (paths under a base,
// or whole addresses; the first without a duration is the initialisation),
// or by their manifest alone.
TEST_F(TarnfetchDash, TheSiteExtractorsDashFormatsAreFetched) {
  Serve("/hand/nothing.html", "<title>No player</title>");
  const std::string num = Url("/num/");
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
  StandInPrograms programs;
  for (const auto& [name, formats] : answers) {
    SCOPED_TRACE(name);
    programs.Printing("yt-dlp",
                      R"({"title": "From the extractor", "requested_formats": [)" + formats + "]}");
    ExpectTheClip("/hand/nothing.html", "From the extractor.mp4");
  }
}

TEST_F(TarnfetchDash, AKilledRunContinuesWithWhatWasMissing) {
  // The picture's first two segments are written; the third is held.
  const fs::path control = out() / "m.mp4.video.part.ctl";
  ASSERT_TRUE(KillWhen("/held/m.mpd", [&] { return RecordsSegments(control, 2); }))
      << ReadFile(control);
  ExpectTheClip("/held/m.mpd", "m.mp4");
  EXPECT_EQ(Count("/held/chunk-stream0-00001.m4s"), 1) << "compared with the one written";
  EXPECT_EQ(Count("/held/chunk-stream0-00002.m4s"), 0) << "fetched again";
  EXPECT_GE(Count("/held/chunk-stream0-00003.m4s"), 1);
}

}  // namespace
}  // namespace tarnfetch_test
