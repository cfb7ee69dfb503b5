// The DASH manifest reader and the choice of tracks, on manifests in the
// shapes real servers write, read directly (no server, no binary).
#include <gtest/gtest.h>

#include <sstream>

#include "core/FetchError.h"
#include "core/MediaType.h"
#include "download/DashManifest.h"
#include "download/DashTracks.h"
#include "download/HlsPlaylist.h"

namespace tarnfetch {
namespace {

const std::string kUrl = "https://cdn.example/v/1/manifest.mpd";

// A track as the stream path sees it: its initialisation section, then
// each segment's address (and range), all absolute; where a period begins
// on the joined clock, "[+seconds]".
std::string Describe(const DashTrack& track) {
  const HlsPlaylist playlist(track.playlist, track.url);
  std::ostringstream out;
  for (const HlsMap& map : playlist.Maps()) {
    out << "init " << playlist.Resolve(map.uri);
    if (map.hasRange) out << " @" << map.offset << "+" << map.length;
    out << "; ";
  }
  for (std::size_t i = 0; i < playlist.Segments().size(); ++i) {
    const HlsSegment& segment = playlist.Segments()[i];
    for (const PeriodShift& shift : track.shifts) {
      if (shift.firstSegment == i) out << "[+" << shift.seconds << "] ";
    }
    out << playlist.Resolve(segment.uri);
    if (segment.hasRange) out << " @" << segment.offset << "+" << segment.length;
    out << "; ";
  }
  return out.str();
}

// "picture | sound lasting seconds", or the error's text.
std::string Read(const std::string& manifest) {
  try {
    const DashManifest read(manifest, kUrl);
    const DashTracks tracks = ChooseDashTracks(read);
    std::ostringstream lasting;
    if (read.Declared()) lasting << " lasting " << *read.Declared();
    return Describe(tracks.picture) + "| " + (tracks.sound ? Describe(*tracks.sound) : "none") +
           lasting.str();
  } catch (const FetchError& failure) {
    return std::string("ERROR ") + failure.what();
  }
}

std::string Mpd(const std::string& body, const std::string& attributes = "type=\"static\"") {
  return "<?xml version=\"1.0\"?>\n<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\" " + attributes +
         ">" + body + "</MPD>";
}

// Without the XML declaration, which nothing may precede.
std::string Bare(const std::string& body) {
  return "<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\" type=\"static\">" + body + "</MPD>";
}

const std::string kSound =
    R"(<AdaptationSet contentType="audio"><Representation id="a" bandwidth="64000" codecs="mp4a.40.2">)"
    R"(<SegmentTemplate media="a$Number$.m4s" initialization="a-init.m4s" duration="2"/></Representation></AdaptationSet>)";

TEST(DashManifest, SegmentKindsAndTheShapesOfRealManifests) {
  struct Case {
    const char* name;
    std::string manifest;
    std::string expected;  // a prefix of what Read gives
  };
  const std::string c = "https://cdn.example/v/1/";
  const Case cases[] = {
      {"template with number, width, a shorter last segment",
       Mpd(R"(<Period duration="PT5S"><AdaptationSet mimeType="video/mp4"><Representation id="v1" bandwidth="900">)"
           R"(<SegmentTemplate timescale="10" duration="20" startNumber="0" initialization="$RepresentationID$/i.mp4" media="$RepresentationID$/$Number%03d$.m4s"/>)"
           R"(</Representation></AdaptationSet></Period>)"),
       "init " + c + "v1/i.mp4; " + c + "v1/000.m4s; " + c + "v1/001.m4s; " + c +
           "v1/002.m4s; | none"},
      {"timeline with t, repeats and r=-1 to the period's end; $Time$ and $Bandwidth$",
       Mpd(R"(<Period><AdaptationSet contentType="video"><SegmentTemplate timescale="1" media="b$Bandwidth$-t$Time$.m4s">)"
           R"(<SegmentTimeline><S t="10" d="2" r="1"/><S d="3" r="-1"/></SegmentTimeline></SegmentTemplate>)"
           R"(<Representation id="v" bandwidth="7"/></AdaptationSet></Period>)",
           R"(type="static" mediaPresentationDuration="PT20S")"),
       c + "b7-t10.m4s; " + c + "b7-t12.m4s; " + c + "b7-t14.m4s; " + c + "b7-t17.m4s; | none"},
      {"list with ranges, a gap, a last entry without range, Initialization without sourceURL",
       Mpd(R"(<Period><AdaptationSet mimeType="video/mp4"><Representation id="v" bandwidth="1"><BaseURL>f.mp4</BaseURL>)"
           R"(<SegmentList><Initialization range="10-19"/><SegmentURL mediaRange="20-29"/><SegmentURL mediaRange="40-49"/>)"
           R"(<SegmentURL media="tail.mp4"/></SegmentList></Representation></AdaptationSet></Period>)"),
       "init " + c + "f.mp4 @10+10; " + c + "f.mp4 @20+10; " + c + "f.mp4 @40+10; " + c +
           "tail.mp4; | none"},
      {"SegmentBase: one file without an extension, whatever its ranges",
       Mpd(R"(<Period><AdaptationSet mimeType="video/mp4"><Representation id="v" bandwidth="1"><BaseURL>media/video</BaseURL>)"
           R"(<SegmentBase indexRange="800-900" indexRangeExact="true"><Initialization range="5-799"/></SegmentBase>)"
           R"(</Representation></AdaptationSet></Period>)"),
       c + "media/video; | none"},
      {"byte-order mark, comment, BaseURL at every level, ../ above the root, template text kept",
       "\xEF\xBB\xBF<!-- made by hand -->\n" +
           Bare(
               R"(<BaseURL>../../../../x/</BaseURL><Period duration="PT2S"><BaseURL>p/</BaseURL><AdaptationSet mimeType="video/mp4">)"
               R"(<BaseURL>s/</BaseURL><Representation id="v" bandwidth="1"><SegmentTemplate duration="2" media="q=(1,2)/$Number$.m4s?a=b"/>)"
               R"(</Representation></AdaptationSet></Period>)"),
       "https://cdn.example/x/p/s/q=(1,2)/1.m4s?a=b; | none"},
      {"highest bandwidth wins; shared ids; float duration; subtitles and trick play passed over",
       Mpd(R"(<Period duration="PT4S"><AdaptationSet mimeType="video/mp4"><SegmentTemplate duration="2.0" media="$RepresentationID$-v$Number$"/>)"
           R"(<Representation id="x" bandwidth="100"/><Representation id="y" bandwidth="300"/></AdaptationSet>)"
           R"(<AdaptationSet mimeType="video/mp4"><EssentialProperty schemeIdUri="http://dashif.org/guidelines/trickmode" value="1"/>)"
           R"(<Representation id="t" bandwidth="9000"><SegmentTemplate duration="2" media="trick$Number$"/></Representation></AdaptationSet>)"
           R"(<AdaptationSet contentType="text" mimeType="application/mp4"><Representation id="s" bandwidth="99999" codecs="stpp">)"
           R"(<SegmentTemplate duration="2" media="sub$Number$"/></Representation></AdaptationSet>)"
           R"(<AdaptationSet mimeType="text/vtt"><Representation id="w" bandwidth="99999"><BaseURL>subs.mpd</BaseURL></Representation></AdaptationSet>)"
           R"(<AdaptationSet mimeType="audio/mp4" lang="de"><Representation id="y" bandwidth="200"><SegmentTemplate duration="2" media="$RepresentationID$-a$Number$"/></Representation></AdaptationSet>)"
           R"(<AdaptationSet mimeType="audio/mp4" lang="en"><Role schemeIdUri="urn:mpeg:dash:role:2011" value="main"/>)"
           R"(<Representation id="m" bandwidth="50"><SegmentTemplate duration="2" media="main$Number$"/></Representation></AdaptationSet>)"
           R"(</Period>)"),
       c + "y-v1; " + c + "y-v2; | " + c + "main1; " + c + "main2; "},
      {"sound languages compare by primary subtag: en_stereo and en_surround are one",
       Mpd(R"(<Period duration="PT2S"><AdaptationSet mimeType="video/mp4"><Representation id="v" bandwidth="1">)"
           R"(<SegmentTemplate duration="2" media="v$Number$"/></Representation></AdaptationSet>)"
           R"(<AdaptationSet mimeType="audio/mp4" lang="en_stereo"><Representation id="s" bandwidth="128000">)"
           R"(<SegmentTemplate duration="2" media="stereo$Number$"/></Representation></AdaptationSet>)"
           R"(<AdaptationSet mimeType="audio/mp4" lang="de"><Representation id="d" bandwidth="900000">)"
           R"(<SegmentTemplate duration="2" media="de$Number$"/></Representation></AdaptationSet>)"
           R"(<AdaptationSet mimeType="audio/mp4" lang="EN_surround"><Representation id="x" bandwidth="384000">)"
           R"(<SegmentTemplate duration="2" media="surround$Number$"/></Representation></AdaptationSet></Period>)"),
       c + "v1; | " + c + "surround1; "},
      {"two periods are joined in order",
       Mpd(R"(<Period id="1" duration="PT2S"><AdaptationSet mimeType="video/mp4"><Representation id="v" bandwidth="1">)"
           R"(<SegmentTemplate duration="2" media="one$Number$"/></Representation></AdaptationSet></Period>)"
           R"(<Period id="2"><AdaptationSet mimeType="video/mp4"><Representation id="v" bandwidth="1">)"
           R"(<SegmentTemplate duration="2" media="two$Number$"/></Representation></AdaptationSet></Period>)",
           R"(type="static" mediaPresentationDuration="PT4S" minimumUpdatePeriod="PT2S")"),
       "[+0] " + c + "one1; [+2] " + c + "two1; | none lasting 4"},
      {"a period's start less its presentationTimeOffset places its media; the periods' sum is the "
       "whole",
       Mpd(R"(<Period start="PT0S" duration="PT6S"><AdaptationSet mimeType="video/mp4"><Representation id="v" bandwidth="1">)"
           R"(<SegmentTemplate duration="6" media="one$Number$"/></Representation></AdaptationSet></Period>)"
           R"(<Period start="PT6S" duration="PT3S"><AdaptationSet mimeType="video/mp4"><SegmentTemplate timescale="1000" presentationTimeOffset="4000"/>)"
           R"(<Representation id="v" bandwidth="1"><SegmentTemplate duration="3000" media="two$Number$"/></Representation></AdaptationSet></Period>)"),
       "[+0] " + c + "one1; [+2] " + c + "two1; | none lasting 9"},
      {"live", Mpd("<Period/>", R"(type="dynamic")"), "ERROR The stream is live"},
      {"DRM on the chosen set",
       Mpd(R"(<Period duration="PT2S"><AdaptationSet mimeType="video/mp4"><ContentProtection schemeIdUri="urn:mpeg:dash:mp4protection:2011"/>)"
           R"(<Representation id="v" bandwidth="1"><SegmentTemplate duration="2" media="v$Number$"/></Representation></AdaptationSet></Period>)"),
       "ERROR The stream is protected by DRM"},
      {"DRM inside one representation",
       Mpd(R"(<Period duration="PT2S"><AdaptationSet mimeType="video/mp4"><Representation id="v" bandwidth="1">)"
           R"(<ContentProtection schemeIdUri="urn:uuid:edef8ba9-79d6-4ace-a3c8-27dcd51d21ed"/>)"
           R"(<SegmentTemplate duration="2" media="v$Number$"/></Representation></AdaptationSet></Period>)"),
       "ERROR The stream is protected by DRM"},
      {"a period without the picture the others have",
       Mpd(R"(<Period duration="PT2S"><AdaptationSet mimeType="video/mp4"><Representation id="v" bandwidth="1">)"
           R"(<SegmentTemplate duration="2" media="v$Number$"/></Representation></AdaptationSet></Period>)"
           R"(<Period duration="PT2S">)" +
           kSound + "</Period>"),
       "ERROR The manifest's periods do not all offer"},
      {"a document type (entity expansion)",
       "<?xml version=\"1.0\"?><!DOCTYPE MPD [<!ENTITY a \"aaaa\">]><MPD/>",
       "ERROR The manifest declares a document type"},
      {"an address that is not http",
       Mpd(R"(<BaseURL>file:///etc/</BaseURL><Period duration="PT2S">)" + kSound + "</Period>"),
       "ERROR The manifest names an address that is not http or https"},
      {"a line break smuggled into a template stays inside one address",
       Mpd(R"(<Period duration="PT2S"><AdaptationSet mimeType="video/mp4"><Representation id="v" bandwidth="1">)"
           R"(<SegmentTemplate duration="2" media="a&#10;#EXT-X-ENDLIST&#10;b$Number$"/></Representation></AdaptationSet></Period>)"),
       c + "a%0A#EXT-X-ENDLIST%0Ab1; | none"},
      {"a timeline that repeats without end",
       Mpd(R"(<Period duration="PT100000000S"><AdaptationSet mimeType="video/mp4"><Representation id="v" bandwidth="1">)"
           R"(<SegmentTemplate media="v$Time$"><SegmentTimeline><S d="1" r="-1"/></SegmentTimeline></SegmentTemplate>)"
           R"(</Representation></AdaptationSet></Period>)"),
       "ERROR The manifest has more than 100,000 segments"},
      {"not XML at all", "#EXTM3U\n", "ERROR The address is not a DASH manifest"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    const std::string got = Read(test.manifest);
    EXPECT_EQ(got.substr(0, test.expected.size()), test.expected) << got;
  }
}

TEST(DashManifest, RecognisedByItsStartWhateverTheType) {
  EXPECT_TRUE(LooksLikeDashManifest("\xEF\xBB\xBF  <!-- x --><!--y-->\n<MPD>"));
  EXPECT_TRUE(LooksLikeDashManifest("<?xml version='1.0'?>"));
  EXPECT_TRUE(LooksLikeDashManifest("<dash:MPD xmlns:dash='urn:mpeg:dash:schema:mpd:2011'>"));
  EXPECT_FALSE(LooksLikeDashManifest("<MPDX>"));
  EXPECT_FALSE(LooksLikeDashManifest("<!-- never closed <MPD>"));
  EXPECT_FALSE(
      LooksLikeDashManifest(std::string_view("\0\0\0\x18"
                                             "ftypmp42",
                                             12)));
  EXPECT_EQ(ParseIsoDuration("PT1H2M3.5S"), 3723.5);
  EXPECT_EQ(ParseIsoDuration("P1DT1S"), 86401);
  EXPECT_EQ(ParseIsoDuration("PT"), std::nullopt);
  EXPECT_EQ(ParseIsoDuration("PT-5S"), std::nullopt);
  EXPECT_EQ(ParseIsoDuration("1S"), std::nullopt);
}

}  // namespace
}  // namespace tarnfetch
