// The rules of the readers of hostile text, as tables run through the real
// code: script literals, HLS playlists, Content-Range, addresses, HTML tags,
// page encodings, what a page names, packed scripts and what an answer is.
#include <gtest/gtest.h>

#include <iomanip>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "core/BodyKind.h"
#include "core/FetchError.h"
#include "core/MediaType.h"
#include "download/HlsPlaylist.h"
#include "download/SegmentContainer.h"
#include "http/ContentRange.h"
#include "http/HttpTransfer.h"
#include "http/Url.h"
#include "page/FetchableAddress.h"
#include "page/HtmlTagReader.h"
#include "page/PackedScript.h"
#include "page/PageEncoding.h"
#include "page/PageParser.h"
#include "page/ScriptLiteral.h"

namespace tarnfetch {
namespace {

std::string Repeat(std::string_view text, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += text;
  return out;
}

TEST(ScriptLiteralTable, ReadsDataAndTurnsCodeIntoNull) {
  struct Case {
    const char* what;
    std::string script;
    std::string json;  // compared as parsed JSON; empty: no literal at all
  };
  const std::string deep = Repeat("[", 64) + "null" + Repeat("]", 64);
  const std::vector<Case> cases{
      {"empty", "", ""},
      {"not a literal", "player.setup({})", ""},
      {"blanks before, only the first literal", " \r\n\t{a:1},{b:2}", R"({"a":1})"},
      {"unquoted, single, double and template keys", "{a:1,'b':2,\"c\":3,`d`:4,$e_1:5}",
       R"({"a":1,"b":2,"c":3,"d":4,"$e_1":5})"},
      {"trailing and doubled commas", "[,1,,2,]", "[1,2]"},
      {"comments", "{a:/* x */1, // y\n b:2}", R"({"a":1,"b":2})"},
      {"words", "[true,false,null,undefined,NaN,Infinity]", "[true,false,null,null,null,null]"},
      {"functions", "{f:function(a){return {b:[1]}},g:()=>0,c:2}", R"({"f":null,"g":null,"c":2})"},
      {"expressions", "{a:x+1,b:'s'+y,c:f(1,[2]),d:3}", R"({"a":null,"b":"s","c":null,"d":3})"},
      {"shorthand, methods, spread, computed keys", "{a,m(){return 1},...x,[k]:1,b:2}",
       R"({"a":null,"m":null,"b":2})"},
      {"a stray bracket ends the literal", "{a:1)},b:2}", R"({"a":1})"},
      {"numbers in JSON's form", "[0,-0,12,-2.5,1e3,1E-3,0.5e+2]", "[0,0,12,-2.5,1000,0.001,50]"},
      {"other numbers", "[0x10,012,.5,5.,1.e3,1_000,7n,-,1e999,-Infinity,+1]",
       "[null,null,null,null,null,null,null,null,null,null,null]"},
      {"quotes inside strings", R"(['say "hi"',"it's",`a${b}c`])",
       R"(["say \"hi\"","it's","a${b}c"])"},
      {"escapes", R"(['\n\t\r\b\f\\\'\/\"\x41\u00e9\uD83D\uDE00'])",
       "[\"\\n\\t\\r\\b\\f\\\\'/\\\"A\xC3\xA9\xF0\x9F\x98\x80\"]"},
      {"lone surrogates become U+FFFD", R"(['\uD83Dx\uDE00\uD83D\u0041'])",
       "[\"\xEF\xBF\xBDx\xEF\xBF\xBD\xEF\xBF\xBD"
       "A\"]"},
      {"short escapes are letters", R"(['\x4g\u12G4\u1'])", R"(["x4gu12G4u1"])"},
      {"a continued line, raw controls", "['a\\\nb\tc\x01']", R"(["ab\tc\u0001"])"},
      {"cut in a string", "{a:'abc", R"({"a":"abc"})"},
      {"cut after a backslash", "['a\\", R"(["a"])"},
      {"cut in a comment", "{a:1 /* b:2", R"({"a":1})"},
      {"cut in nesting", "{a:[1,{b:", R"({"a":[1,{"b":null}]})"},
      {"deeper than 64 is null", Repeat("[", 100) + "1" + Repeat("]", 100), deep},
      {"100,000 open brackets", Repeat("[", 100000), deep},
  };
  for (const Case& c : cases) {
    const std::string out = ScriptLiteralToJson(c.script);
    const auto json = nlohmann::json::parse(out, nullptr, false);  // discarded: not JSON
    EXPECT_TRUE(c.json.empty() ? out.empty() : json == nlohmann::json::parse(c.json))
        << c.what << ": " << out;
  }
}

const std::string kPlaylistUrl = "https://cdn.test/v/index.m3u8?t=1";

// A media playlist in one line: its segments, each its address as written
// and " d=seconds", " n=sequence" (when not its index), " r=offset+length",
// " k=key", " m=map", " gap" where they apply; then its keys and maps. An
// error reads "error: <message>".
std::string Describe(const std::string& text) {
  try {
    const HlsPlaylist list(text, kPlaylistUrl);
    const auto span = [&](TextSpan at) { return text.substr(at.offset, at.length); };
    std::ostringstream out;
    for (const HlsSegment& s : list.Segments()) {
      const auto index = static_cast<std::uint64_t>(&s - list.Segments().data());
      out << (index == 0 ? "" : "; ") << span(s.uri);
      if (s.duration != 0) out << " d=" << s.duration;
      if (s.sequence != index) out << " n=" << s.sequence;
      if (s.hasRange) out << " r=" << s.offset << "+" << s.length;
      if (s.key >= 0) out << " k=" << s.key;
      if (s.map >= 0) out << " m=" << s.map;
      if (s.discontinuity) out << " gap";
    }
    for (const HlsKey& key : list.Keys()) {
      out << " | key " << span(key.uri);
      if (!key.hasIv) continue;
      out << " iv=" << std::hex << std::setfill('0');
      for (const int byte : key.iv) out << std::setw(2) << byte;
      out << std::dec;
    }
    for (const HlsMap& map : list.Maps()) {
      out << " | map " << span(map.uri);
      if (map.hasRange) out << " r=" << map.offset << "+" << map.length;
    }
    return out.str();
  } catch (const FetchError& error) {
    return std::string("error: ") + error.what();
  }
}

TEST(HlsPlaylistTable, MediaPlaylists) {
  struct Case {
    const char* what;
    std::string text;  // between "#EXTM3U\n" and "#EXT-X-ENDLIST\n"
    std::string want;  // Describe()
  };
  const std::vector<Case> cases{
      {"segments in order", "#EXTINF:2.5,\na.ts\n#EXTINF:3,title\nb.ts\n", "a.ts d=2.5; b.ts d=3"},
      {"CR LF, blank lines, comments and unknown tags",
       "\r\n#EXTINF:2,\r\n# note\r\n#EXT-X-FUTURE:1\r\n\r\na.ts\r\n", "a.ts d=2"},
      {"lone CRs end lines too; blanks around a line are not part of it",
       "   #EXT-X-VERSION:5\r   #EXTINF:2,\r\ta.ts  \r\n", "a.ts d=2"},
      {"numbers from the media sequence", "#EXT-X-MEDIA-SEQUENCE:41\na\nb\n", "a n=41; b n=42"},
      {"a sequence too large reads as 0", "#EXT-X-MEDIA-SEQUENCE:99999999999999999999\na\n", "a"},
      {"durations that are none are 0",
       "#EXTINF:x,\na\n#EXTINF:-3,\nb\n#EXTINF:1e300,\nc\n#EXTINF:nan,\nd\n#EXTINF:inf,\ne\n",
       "a; b; c; d; e"},
      {"tags apply to the next segment only", "#EXTINF:4,\n#EXT-X-DISCONTINUITY\na\nb\n",
       "a d=4 gap; b"},
      {"a range continues the last one; the first starts at 0",
       "#EXT-X-BYTERANGE:7\nall\n#EXT-X-BYTERANGE:100@50\nall\n#EXT-X-BYTERANGE:20\nall\n",
       "all r=0+7; all r=50+100; all r=150+20"},
      {"a range up to the last 64-bit byte", "#EXT-X-BYTERANGE:1@18446744073709551614\na\n",
       "a r=18446744073709551614+1"},
      {"keys, NONE and IVs",
       "#EXT-X-KEY:METHOD=AES-128,URI=\"k1\"\na\n#EXT-X-KEY:METHOD=NONE\nb\n"
       "#EXT-X-KEY:METHOD=AES-128,URI=\"k2\",IV=0x0102,KEYFORMAT=\"identity\"\nc\n",
       "a k=0; b; c k=1 | key k1 | key k2 iv=00000000000000000000000000000102"},
      {"a 32-digit IV",
       "#EXT-X-KEY:METHOD=AES-128,URI=\"k\",IV=0XFFEEDDCCBBAA99887766554433221100\na\n",
       "a k=0 | key k iv=ffeeddccbbaa99887766554433221100"},
      {"maps, with and without a range",
       "#EXT-X-MAP:URI=\"i.mp4\",BYTERANGE=\"720@0\"\na\n#EXT-X-MAP:URI=\"j.mp4\"\nb\n",
       "a m=0; b m=1 | map i.mp4 r=0+720 | map j.mp4"},
      {"quoted values keep commas", "#EXT-X-KEY:METHOD=AES-128, URI=\"k?a=1,b=2\"\na\n",
       "a k=0 | key k?a=1,b=2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Describe("#EXTM3U\n" + c.text + "#EXT-X-ENDLIST\n"), c.want);
  }
  EXPECT_EQ(Describe("\xEF\xBB\xBF#EXTM3U\na\n#EXT-X-ENDLIST"), "a") << "a BOM, no last LF";
  EXPECT_EQ(Describe("#EXTM3U\ra\r#EXT-X-ENDLIST\r"), "a") << "lone CRs only";
}

TEST(HlsPlaylistTable, RefusedPlaylistsSayWhy) {
  struct Case {
    std::string text;
    std::string reason;  // the start of the message
  };
  const std::string head = "#EXTM3U\n", tail = "a\n#EXT-X-ENDLIST\n";
  const std::string range = "The playlist has a damaged byte range";
  std::vector<Case> cases{
      {head + "#" + std::string(8 << 20, 'x') + "\n" + tail, "The playlist is larger than 8 MiB"},
      {head + Repeat("a\n", 100001) + tail, "The playlist has more than 100,000 segments"},
      {head + "a\n", "The stream is live"},
      {head + "#EXTINF:2,\n#EXT-X-ENDLIST\n", "The playlist names no segments"},
      {head + "#EXT-X-KEY:METHOD=SAMPLE-AES-CTR,URI=\"k\"\n" + tail,
       "The stream is protected with SAMPLE-AES-CTR (DRM)"},
      {head + "#EXT-X-KEY:METHOD=AES-128,URI=\"k\",KEYFORMAT=\"com.x.drm\"\n" + tail,
       "The stream is protected by DRM (KEYFORMAT com.x.drm)"},
      {head + "#EXT-X-KEY:METHOD=AES-256,URI=\"k\"\n" + tail,
       "The stream is encrypted with an unknown method (AES-256)"},
      {head + "#EXT-X-BYTERANGE:18446744073709551615@0\na\n#EXT-X-BYTERANGE:1\n" + tail, range},
      {head + "#EXT-X-MAP:URI=\"i\",BYTERANGE=\"2@18446744073709551615\"\n" + tail, range},
      {head + "#EXTINF:1,\nb.ts\n#EXT-X-MAP:URI=\"i\"\n#EXTINF:1,\n" + tail,
       "The playlist mixes MPEG-TS and fragmented MP4 segments"},
  };
  for (const std::string text : {"", "#EXTINF:2,\n", "#extm3u\n", "\n#EXTM3U\n"}) {
    cases.push_back({text + tail, "The address is not an HLS playlist"});
  }
  // Addresses of segments, variants, sounds, keys and maps.
  for (const char* line : {"file:///etc/passwd\n", "javascript:alert(1)\n",
                           "#EXT-X-STREAM-INF:BANDWIDTH=1\nfile:///x\n",
                           "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"s\",URI=\"data:x\"\n",
                           "#EXT-X-KEY:METHOD=AES-128\n", "#EXT-X-MAP:URI=\"ftp://h/i\"\n"}) {
    cases.push_back(
        {head + line + tail, "The playlist names an address that is not http or https"});
  }
  // Empty, blanks, no offset, negative, past 64 bits.
  for (const char* value :
       {"0", " 10", "10@", "-1", "x", "2@18446744073709551614", "18446744073709551616"}) {
    cases.push_back({head + "#EXT-X-BYTERANGE:" + value + "\n" + tail, range});
  }
  for (const std::string iv : {"0x", "1234", "0x12G4", "0x123456789012345678901234567890123"}) {
    cases.push_back({head + "#EXT-X-KEY:METHOD=AES-128,URI=\"k\",IV=" + iv + "\n" + tail,
                     "The playlist has a damaged key IV"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 100));
    EXPECT_TRUE(Describe(c.text).starts_with("error: " + c.reason)) << Describe(c.text);
  }
}

TEST(HlsPlaylistTable, MasterPlaylistsChooseTheBestVariantAndItsSound) {
  struct Case {
    const char* what;
    std::string text;         // after "#EXTM3U\n"
    std::string best, sound;  // addresses of the chosen variant and its own sound
  };
  const std::string high = "#EXT-X-STREAM-INF:BANDWIDTH=900,RESOLUTION=1280x720,AUDIO=\"s\"\nhd\n";
  const std::string in = "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"s\"";  // a sound of group "s"
  const std::vector<Case> cases{
      {"highest bandwidth", "#EXT-X-STREAM-INF:BANDWIDTH=500\nlow\n" + high, "hd", ""},
      {"a tie goes to the larger picture",
       "#EXT-X-STREAM-INF:BANDWIDTH=900,RESOLUTION=640x360\nsd\n" + high, "hd", ""},
      {"a picture too large to count is the largest",
       "#EXT-X-STREAM-INF:BANDWIDTH=900,RESOLUTION=4294967296x4294967296\nbig\n" + high, "big", ""},
      {"comments between the tag and its address",
       "#EXT-X-STREAM-INF:BANDWIDTH=1\n# note\n#EXT-X-FUTURE\n../w/v.m3u8\n", "../w/v.m3u8", ""},
      {"the DEFAULT sound of the variant's group",
       in + ",URI=\"a1\"\n#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"t\",DEFAULT=YES,URI=\"t\"\n" + in +
           ",AUTOSELECT=YES,URI=\"a2\"\n" + in + ",DEFAULT=YES,URI=\"a3\"\n" + high,
       "hd", "a3"},
      {"else the AUTOSELECT one", in + ",URI=\"a1\"\n" + in + ",AUTOSELECT=YES,URI=\"a2\"\n" + high,
       "hd", "a2"},
      {"else the first", in + ",URI=\"a1\"\n" + in + ",URI=\"a2\"\n" + high, "hd", "a1"},
      {"a sound without an address is inside the variant", in + ",DEFAULT=YES\n" + high, "hd", ""},
      {"subtitles are no sound", "#EXT-X-MEDIA:TYPE=SUBTITLES,GROUP-ID=\"s\",URI=\"x\"\n" + high,
       "hd", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const HlsPlaylist list("#EXTM3U\n" + c.text, kPlaylistUrl);
    ASSERT_TRUE(list.IsMaster());
    EXPECT_EQ(list.Best().url, ResolveUrl(kPlaylistUrl, c.best));
    const auto separate = list.SeparateAudio(list.Best());
    EXPECT_EQ(separate ? separate->url : "",
              c.sound.empty() ? "" : ResolveUrl(kPlaylistUrl, c.sound));
  }
}

TEST(HlsPlaylistTable, TheFingerprintIgnoresTokensInAddresses) {
  const auto print = [](const std::string& body) {
    return HlsPlaylist("#EXTM3U\n" + body + "#EXT-X-ENDLIST\n", kPlaylistUrl).Fingerprint();
  };
  const std::string base = print("#EXTINF:2,\na.ts?t=1\n#EXTINF:2,\nb.ts?t=1\n");
  EXPECT_EQ(print("#EXTINF:2,\na.ts?t=2\n#EXTINF:2,\nb.ts?t=2\n"), base);
  EXPECT_NE(print("#EXTINF:2,\na.ts?t=1\n#EXTINF:3,\nb.ts?t=1\n"), base);
  EXPECT_NE(print("#EXTINF:2,\na.ts?t=1\n"), base);
  EXPECT_NE(print("#EXTINF:2,\n#EXT-X-BYTERANGE:5\na.ts\n#EXTINF:2,\nb.ts\n"), base);
  // Another stream's playlist with the same segments; a token in its own address.
  const std::string body = "#EXTM3U\n#EXTINF:2,\na.ts?t=1\n#EXTINF:2,\nb.ts?t=1\n#EXT-X-ENDLIST\n";
  EXPECT_NE(HlsPlaylist(body, "https://cdn.test/w/index.m3u8?t=1").Fingerprint(), base);
  EXPECT_EQ(HlsPlaylist(body, "https://cdn.test/v/index.m3u8?t=9").Fingerprint(), base);
}

TEST(ContentRangeTable, BytesFirstLastAndLength) {
  // Read back as "first-last/length", "*" for what is not given.
  const auto read = [](std::string_view value) -> std::string {
    const auto range = ParseContentRange(value);
    const auto part = [](std::optional<std::uint64_t> n) { return n ? std::to_string(*n) : "*"; };
    if (!range) return "refused";
    return (range->first ? part(range->first) + "-" + part(range->last) : "*") + "/" +
           part(range->completeLength);
  };
  for (const char* value : {"bytes 0-99/100", "bytes 100-999/*", "bytes */1000", "bytes */0",
                            "bytes 0-0/1", "bytes 0-9223372036854775807/*"}) {
    EXPECT_EQ("bytes " + read(value), value);
  }
  // Backwards, past the length, past what a file can be, cut short, signs, other
  // bases, blanks, other units.
  for (const char* value : {"bytes 5-4/10",
                            "bytes 0-100/100",
                            "bytes 0-0/0",
                            "bytes */*",
                            "bytes 0-18446744073709551616/*",
                            "bytes 0-1/18446744073709551616",
                            "bytes 0-9223372036854775808/*",
                            "bytes 0-1/18446744073709551615",
                            "",
                            "bytes ",
                            "bytes 0-1",
                            "bytes 0-/10",
                            "bytes -1/10",
                            "bytes 1-2-3/10",
                            "bytes +0-1/2",
                            "bytes 0x1-2/3",
                            "bytes  0-1/2",
                            "bytes 0-1/2 ",
                            "bytes 0-1/2\r\n",
                            "items 0-1/2",
                            "bytes=0-1/2"}) {
    EXPECT_EQ(read(value), "refused") << value;
  }
}

TEST(ContentLengthTable, ALengthPastWhatAFileCanBeIsDamaged) {
  struct Case {
    const char* line;
    std::optional<std::uint64_t> length;
    bool impossible;
  };
  const Case cases[] = {
      {"Content-Length: 100\r\n", 100, false},
      {"content-length:9223372036854775807\r\n", 9223372036854775807u, false},
      {"Content-Length: 9223372036854775808\r\n", {}, true},
      {"Content-Length: 18446744073709551615\r\n", {}, true},
      {"Content-Length: 99999999999999999999999\r\n", {}, true},
      {"Content-Length: -1\r\n", {}, false},
      {"Content-Length: 12x\r\n", {}, false},
      {"Content-Length:\r\n", {}, false},
  };
  for (const Case& c : cases) {
    ResponseHead head;
    ReadHeaderLine(head, c.line);
    EXPECT_EQ(head.contentLength, c.length) << c.line;
    EXPECT_EQ(head.impossibleLength, c.impossible) << c.line;
  }
}

// The first bytes of a segment: only the container the stream announced
// passes; error pages in any encoding, JSON and stray bytes do not.
TEST(SegmentBodyTable, OnlyTheAnnouncedContainerPasses) {
  using namespace std::string_literals;
  using C = SegmentContainer;
  const std::string ts = "G@\x00\x10"s + std::string(184, '\xFF') + "GA\x01\x10";
  const std::string box = "\x00\x00\x00\x18styp"s, cluster = "\x1F\x43\xB6\x75\x01"s;
  const std::tuple<std::string, C, bool> cases[] = {
      {ts, C::Any, true},
      {ts.substr(0, 188), C::Any, false},  // one packet: a page starting with 'G'
      {"G" + std::string(187, 'x') + "x", C::Any, false},
      {"GET " + std::string(184, 'x') + "GET ", C::Any, false},  // text where headers would be
      {"G\0t\0"s + std::string(184, 'x') + "G\0t\0"s, C::Any, false},  // UTF-16
      {"    ftyp<html>", C::Any, false},
      {box, C::Any, true},
      {box, C::Mp4, true},
      {"\x00\x00\x00\x18html"s, C::Mp4, false},  // a box of no known type
      {ts, C::Mp4, false},
      {cluster, C::WebM, true},
      {box, C::WebM, false},
      {"ID3\x04\x00\x00\x00\x00\x00\x3F PRIV"s, C::Any, true},
      {"\xFF\xF1\x50\x80"s, C::Any, true},  // ADTS
      {"\xFF\xFB\x90\x64"s, C::Any, true},  // MPEG audio
      {"{\"error\": \"gone\"}", C::Any, false},
      {"\x01<html><title>Slow down</title>", C::Any, false},
      {"\xFF\xFE\x61\x00<\x00h\x00t\x00m\x00l\x00"s, C::Any, false},  // UTF-16
      {"<html>\xC3\xA9", C::Any, false},
      {"", C::Any, false},
  };
  for (const auto& [head, container, media] : cases) {
    EXPECT_EQ(SegmentStartsAs(head, container), media) << head;
  }
  EXPECT_EQ(ContainerOfSection("\x00\x00\x02\x00\x66typiso6"s), C::Mp4);
  EXPECT_EQ(ContainerOfSection("\x1A\x45\xDF\xA3"s), C::WebM);
}

TEST(UrlTable, ResolvingAgainstThePage) {
  const std::string page = "https://h.test/a/b.html?q=1#top";
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases{
      {"c.mp4", "https://h.test/a/c.mp4"},
      {"/c.mp4", "https://h.test/c.mp4"},
      {"../../../c.mp4", "https://h.test/c.mp4"},
      {"//cdn.test/c.mp4", "https://cdn.test/c.mp4"},
      {"?r=2", "https://h.test/a/b.html?r=2"},
      {"http://other.test/x", "http://other.test/x"},
      {"a b.mp4", "https://h.test/a/a%20b.mp4"},
      {"file:///etc/passwd", "file:///etc/passwd"},  // the scheme is the caller's check
      {"https://h.test:99999/", std::nullopt},
      {"http://[::1x", std::nullopt},
      {"//[::1x/c.mp4", std::nullopt},
      {"http://[::1]:80/c.mp4", "http://[::1]:80/c.mp4"},
      {"http://u@h.test:080/c", "http://u@h.test:80/c"},
      {"http://u@/c", std::nullopt},
      {"http:c.mp4", std::nullopt},
      {"a\tb.mp4", std::nullopt},
      {"1abc:c", std::nullopt},
  };
  for (const auto& [reference, want] : cases) {
    EXPECT_EQ(ResolveUrl(page, reference), want);
    // The page reader keeps a place only for what resolves to a web address.
    EXPECT_EQ(IsFetchableAddress(reference), want && IsWebUrl(*want)) << reference;
  }
  EXPECT_EQ(ResolveUrl("not an address", "c.mp4"), std::nullopt);
}

TEST(UrlTable, TheUsersAddress) {
  const std::string mustBegin = " is not a web address; it must begin with http:// or https://.";
  const std::string only = "Only http and https addresses can be downloaded, not ";
  const std::vector<std::pair<std::string, std::string>> cases{
      // text, address or error
      {" \t\r\nhttps://h.test/x \n", "https://h.test/x"},
      {"https://h.test", "https://h.test/"},
      {"HTTP://h.test/a b", "http://h.test/a%20b"},
      {"", "No web address was given."},
      {" \t\n", "No web address was given."},
      {"h.test/x.mp4", "\"h.test/x.mp4\"" + mustBegin},
      {"  https:// ", "\"https://\"" + mustBegin},
      {"ftp://h.test/x", only + "\"ftp://h.test/x\"."},
      {"file:///etc/passwd", only + "\"file:///etc/passwd\"."},
  };
  for (const auto& [text, want] : cases) {
    std::string got;
    try {
      got = CheckUserUrl(text);
    } catch (const FetchError& error) {
      got = error.what();
    }
    EXPECT_EQ(got, want) << text;
  }
}

TEST(UrlTable, OriginsReferersAndFileNames) {
  // Same origin (scheme, host, port), and the Referer a request from the
  // first to the second carries.
  struct Pair {
    std::string page, target;
    bool same;
    std::string referer;
  };
  for (const Pair& c : std::vector<Pair>{
           {"https://u:p@h.test/a?q=1#f", "https://H.TEST/v?x", true, "https://h.test/a?q=1"},
           {"https://h.test/a", "https://h.test:443/v", true, "https://h.test/a"},
           {"https://u:p@h.test/a?q=1#f", "https://cdn.test/v", false, "https://h.test/"},
           {"https://h.test:8443/a", "https://h.test/v", false, "https://h.test:8443/"},
           {"http://h.test/a", "https://h.test/v", false, "http://h.test/"},
           {"https://h.test/a", "http://h.test/v", false, ""},
           {"file:///a", "https://h.test/v", false, ""},
           {"ftp://h.test/a", "ftp://h.test/v", false, ""},
           {"", "", false, ""},
       }) {
    SCOPED_TRACE(c.page + " -> " + c.target);
    EXPECT_EQ(SameOrigin(c.page, c.target), c.same);
    EXPECT_EQ(RefererFor(c.page, c.target), c.referer);
  }
  struct Name {
    std::string url, name, extension;
  };
  for (const Name& c : std::vector<Name>{
           {"https://h.test/a/b%20c.MP4?x=y.z#f.g", "b c.MP4", "mp4"},
           {"https://h.test/a/", "", ""},
           {"https://h.test", "", ""},
           {"https://h.test/.hidden", ".hidden", ""},
           {"https://h.test/a.", "a.", ""},
           {"https://h.test/a.tar.gz", "a.tar.gz", "gz"},
           {"https://h.test/%2e%2e%2fx.mp4", "../x.mp4", "mp4"},  // names are cleaned later
           {"not an address", "", ""},
       }) {
    EXPECT_EQ(UrlFileName(c.url), c.name) << c.url;
    EXPECT_EQ(UrlFileExtension(c.url), c.extension) << c.url;
  }
}

// Each start tag as "name key=value ...", its raw text after " | ".
std::string Tags(std::string_view html, PageEncoding encoding = PageEncoding::Utf8) {
  HtmlTagReader reader(html, encoding);
  std::string out;
  while (const auto tag = reader.Next()) {
    out += (out.empty() ? "" : "; ") + tag->name;
    for (const auto& [key, value] : tag->attributes) out += " " + key + "=" + value;
    if (!reader.RawText().empty()) out += " | " + std::string(reader.RawText());
  }
  return out;
}

TEST(HtmlTagReaderTable, StartTagsAttributesAndRawText) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"", ""},
      // Names in lower case, values as written; unquoted, bare, blanks.
      {"<A HREF='X' Data-Y=\"Z\">", "a href=X data-y=Z"},
      {"<img src=a.png alt id = \"x\" b=c/>", "img src=a.png alt= id=x b=c/"},
      {"<a\r\nhref=x\tid=y\fclass=z>", "a href=x id=y class=z"},
      {"<br/><a/href=x>", "br; a href=x"},
      {"<a title='a&amp;b&lt;&#x41;&bogus;'>", "a title=a&b<A&bogus;"},
      // End tags, comments, declarations, a lone "<", a stray "=".
      {"</a><!DOCTYPE html><?xml x?><!-- <b> --><p>", "p"},
      {"a < b <> <= <p>", "p"},
      {"<a =x b=1>", "a x= b=1"},
      // Raw text, not decoded, up to its end tag in any case.
      {"<script>if (a<b) x='<p>'</ScRiPt><style>p{}</style><p>",
       "script | if (a<b) x='<p>'; style | p{}; p"},
      {"<title>A &amp; <b>B</b></title><textarea><i></TEXTAREA>",
       "title | A &amp; <b>B</b>; textarea | <i>"},
      {"<scripts><p>", "scripts; p"},
      // Cut short.
      {"<p><!-- <a>", "p"},
      {"<p><!DOCTYPE <a>", "p"},
      {"<a href='x><p>", "a href=x><p>"},
      {"<a href", "a href="},
      {"<p><", "p"},
      {"<script>a<p>", "script | a<p>"},
  };
  for (const auto& [html, tags] : cases) EXPECT_EQ(Tags(html), tags) << html;
  EXPECT_EQ(Tags("<a t='\x93x\x94\x80\xE9'>", PageEncoding::Windows1252),
            "a t=\xE2\x80\x9Cx\xE2\x80\x9D\xE2\x82\xAC\xC3\xA9");
}

TEST(HtmlTagReaderTable, AHostileTagIsCutToItsLimits) {
  const auto only = [](const std::string& html) {
    HtmlTagReader reader(html);
    const auto tag = reader.Next();
    EXPECT_FALSE(reader.Next().has_value());
    return tag.value_or(HtmlTag{});
  };
  const std::string longName(HtmlTag::kMaxNameBytes + 1, 'n');
  EXPECT_EQ(only("<" + longName + " " + longName + "=1>").name, longName.substr(1));
  EXPECT_EQ(only("<a " + longName + "=1>").attributes.at(0).first, longName.substr(1));
  EXPECT_EQ(only("<a" + Repeat(" x=1", 100) + ">").attributes.size(), HtmlTag::kMaxAttributes);
  // Values longer than allowed are dropped, and so are all after the bytes
  // a tag may hold (1 MiB: sixteen of 64 KiB).
  const std::string big(HtmlTag::kMaxValueBytes, 'v');
  const HtmlTag tag = only("<a y=" + big + "v" + Repeat(" x=" + big, 17) + " z=1>");
  std::string sizes;
  for (const auto& [key, value] : tag.attributes) sizes += value.empty() ? "0" : key;
  EXPECT_EQ(sizes, "0" + std::string(16, 'x') + "00");
}

TEST(PageEncodingTable, DeclaredCharsetAndWindows1252) {
  struct Case {
    std::string contentType, html;
    PageEncoding want;
  };
  using enum PageEncoding;
  const std::vector<Case> cases{
      {"text/html", "<p>caf\xE9", Utf8},  // nothing declared
      {"text/html; charset=ISO-8859-1", "", Windows1252},
      {"text/html; CharSet = \"LATIN1\"", "", Windows1252},
      {"text/html;charset=utf-8", "<meta charset=latin1>", Utf8},  // the header first
      {"text/html; charset=", "<meta charset=latin1>", Windows1252},
      {"text/html", "<meta charset=\"Windows-1252\">", Windows1252},
      {"", "<META HTTP-EQUIV=content-type CONTENT='text/html; charset=l1'>", Windows1252},
      {"", "<meta http-equiv=refresh content='0; charset=latin1'>", Utf8},
      {"", std::string(1024, ' ') + "<meta charset=latin1>", Utf8},  // too far in
      {"text/html; charset=shift_jis", "", Utf8},  // other charsets are read as UTF-8
      {"text/html; charset=latin1x", "", Utf8},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DeclaredEncoding(c.contentType, c.html), c.want) << c.contentType << " " << c.html;
  }
  // 0x80 to 0x9F are windows-1252's own characters where assigned, the rest
  // is Latin-1; UTF-8 stays as it is, invalid bytes included.
  EXPECT_EQ(ToUtf8("a\x80\x81\x8D\x9F\xA0\xE9\xFF", Windows1252),
            "a\xE2\x82\xAC\xC2\x81\xC2\x8D\xC5\xB8\xC2\xA0\xC3\xA9\xC3\xBF");
  EXPECT_EQ(ToUtf8("a\x80\xE9", Utf8), "a\x80\xE9");
}

// What a page names, in one line: its addresses (with " (type)" where the
// page declares one), then "frames:", "cannot:" (streams that cannot be
// fetched) and "items:" (a feed's: address and title) where there are any,
// and the title after "title:".
std::string Named(std::string_view page) {
  const PageMedia media = ParsePage(page);
  std::string out;
  const auto add = [&out](const std::string& text) { out += (out.empty() ? "" : " ") + text; };
  for (const std::string& address : media.addresses) {
    const auto type = media.declaredTypes.find(address);
    add(address + (type == media.declaredTypes.end() ? "" : " (" + type->second + ")"));
  }
  if (!media.frames.empty()) add("frames:");
  for (const std::string& frame : media.frames) add(frame);
  if (!media.unfetchableStreams.empty()) add("cannot:");
  for (const std::string& stream : media.unfetchableStreams) add(stream);
  if (!media.entries.empty()) add("items:");
  for (const auto& entry : media.entries) add(entry.address + " \"" + entry.title + "\"");
  if (!media.title.empty()) add("title: " + media.title);
  return out;
}

// The packer's own decoder, as it is written in front of its arguments.
const std::string kPacker =
    "eval(function(p,a,c,k,e,d){e=function(c){return(c<a?'':e(parseInt(c/a)))+((c=c%a)>35?"
    "String.fromCharCode(c+29):c.toString(36))};if(!''.replace(/^/,String)){while(c--){d[e(c)]="
    "k[c]||e(c)}k=[function(e){return d[e]}];e=function(){return'\\\\w+'};c=1};while(c--){if(k[c])"
    "{p=p.replace(new RegExp('\\\\b'+e(c)+'\\\\b','g'),k[c])}}return p}";

std::string Packed(const std::string& payload, int radix, const std::string& words) {
  return kPacker + "('" + payload + "'," + std::to_string(radix) + ",99,'" + words +
         "'.split('|'),0,{}))";
}

TEST(PageTable, WhatAPageNames) {
  const std::string jwPacked = Packed(R"(0(\'1\').2({3:\'/4/5.6\',7:\'/4/8.9\'});)", 36,
                                      "jwplayer|player|setup|file|media|clip|mp4|image|poster|jpg");
  const std::vector<std::pair<std::string, std::string>> cases{
      // Other data-* attributes of <video> and <source>, below every src.
      {"<video src=/a.mp4 data-hls='/h/master.m3u8' data-ratio=16:9 data-poster-src=/p.jpg>"
       "<video data-video-src=/v.webm data-dash=//cdn.test/d.mpd><video src=/b.mp4>"
       "<source data-mp4=' https://cdn.test/s.mp4 ' data-config='{\"src\":\"/c.mp4\"}'>",
       "/a.mp4 /b.mp4 /h/master.m3u8 /v.webm //cdn.test/d.mpd https://cdn.test/s.mp4 /c.mp4"},
      // A typed <source> carries its type; one typed as something else is passed over.
      {"<video><source src=/stream/1 type='video/mp4'><source src=/t.vtt type=text/vtt></video>",
       "/stream/1 (video/mp4)"},
      // Packed scripts are read as any other, also when packed twice.
      {"<script>" + jwPacked + "</script>", "/media/clip.mp4"},
      {"<script>" + Packed(R"(0(\'1\'))", 10, "eval|" + jwPacked) + "</script>", "/media/clip.mp4"},
      // Relative stream addresses handed to a player through a variable.
      {"<script>const manifestUri = '/vod/x.mpd'; player.load(manifestUri);\n"
       "var hls = \"..\\/hls\\/master.m3u8?t=1\", css = 'a.css', s = 'not x.mpd';</script>",
       "/vod/x.mpd ../hls/master.m3u8?t=1"},
      // Streams that cannot be fetched are told apart.
      {"<video src='rtmp://media.test/vod/mp4:clip.mp4'></video><embed src=mms://m.test/x.wmv>"
       "<script>jwplayer('p').setup({file: 'rtsp://cam.test/live'});</script>",
       "cannot: rtmp://media.test/vod/mp4:clip.mp4 mms://m.test/x.wmv rtsp://cam.test/live"},
      // twitter:player and a JW Player playlist feed are read as frames.
      {"<meta name=twitter:player content=https://p.test/embed/1><meta name=twitter:player:width "
       "content=640><iframe src=/ad.html></iframe><script>jwplayer('p').setup({playlist: "
       "'https://cdn.test/v2/media/abc', width: 640});</script>",
       "frames: https://cdn.test/v2/media/abc /ad.html https://p.test/embed/1"},
      {"<meta name=twitter:player content=/embed/1><video src=/a.mp4>", "/a.mp4"},
      // RSS 2.0 with Media RSS: the first item is the video.
      {R"(<?xml version="1.0"?><rss version="2.0" xmlns:media="http://search.yahoo.com/mrss/">)"
       R"(<channel><title>Show</title><item><title>Episode 2</title>)"
       R"(<media:group><media:content url="https://c.test/e2-360.mp4" type="video/mp4" height="360"/>)"
       R"(<media:content url="https://c.test/e2-720.mp4" type="video/mp4" height="720"/></media:group>)"
       R"(<media:content url="https://c.test/e2.jpg" medium="image"/></item>)"
       R"(<item><title>Episode 1</title><enclosure url="https://c.test/e1.mp3" length="9" )"
       R"(type="audio/mpeg"/></item></channel></rss>)",
       "https://c.test/e2-720.mp4 (video/mp4) https://c.test/e2-360.mp4 (video/mp4) items: "
       "https://c.test/e2-360.mp4 \"Episode 2\" https://c.test/e1.mp3 \"Episode 1\" title: "
       "Episode 2"},
      // Atom, XSPF, SMIL and a JW Player JSON feed.
      {R"(<feed xmlns="http://www.w3.org/2005/Atom"><title>Casts</title><entry><title>New</title>)"
       R"(<link rel="alternate" href="/new.html"/><link rel="enclosure" type="video/webm" )"
       R"(href="/new.webm"/></entry></feed>)",
       "/new.webm (video/webm) items: /new.webm \"New\" title: New"},
      {R"(<?xml version="1.0" encoding="UTF-8"?><playlist version="1" xmlns="http://xspf.org/ns/0/">)"
       R"(<trackList><track><location> https://c.test/one.ogg </location><title>One</title></track>)"
       R"(<track><title>Two</title><location>/two.ogg</location></track></trackList></playlist>)",
       "https://c.test/one.ogg items: https://c.test/one.ogg \"One\" /two.ogg \"Two\" title: One"},
      {R"(<smil><head><meta base="https://c.test/vod/"/></head><body><switch>)"
       R"(<video src="low.mp4" system-bitrate="400000"/><video src="high.mp4" )"
       R"(system-bitrate="1600000" height="720"/></switch></body></smil>)",
       "https://c.test/vod/high.mp4 https://c.test/vod/low.mp4 items: https://c.test/vod/low.mp4 "
       "\"\""},
      {R"(<smil><head><meta base="rtmp://fms.test/vod/"/></head><body><video src="mp4:a.mp4"/>)"
       R"(</body></smil>)",
       "cannot: rtmp://fms.test/vod/mp4:a.mp4 items: rtmp://fms.test/vod/mp4:a.mp4 \"\""},
      {R"({"title": "Feed", "playlist": [{"title": "Newest", "image": "/i.jpg", "sources": [)"
       R"({"file": "/n.m3u8", "type": "application/vnd.apple.mpegurl"},)"
       R"({"file": "/n-720.mp4", "type": "video/mp4", "height": 720, "label": "720p"}],)"
       R"("tracks": [{"file": "/n.vtt", "kind": "captions"}]}, {"title": "Older", "sources": [)"
       R"({"file": "/o.mp4"}]}]})",
       "/n-720.mp4 (video/mp4) /n.m3u8 (application/vnd.apple.mpegurl) items: /n.m3u8 \"Newest\" "
       "/o.mp4 \"Older\" title: Newest"},
      // Addresses that cannot be read never use up a kind's places.
      {Repeat("<video src='http://[::1x'>", 250000) + "<video src=/v.mp4><script>x = [" +
           Repeat("'http://[::1x.mp4',", 40) + "'https://c.test/s.mp4'];</script>" +
           "<script type=application/ld+json>[" + Repeat("{\"contentUrl\": \"//[::1x\"},", 40) +
           "{\"contentUrl\": \"/ld.mp4\"}]</script>",
       "/v.mp4 /ld.mp4 https://c.test/s.mp4"},
      // An XHTML page is a page, not a feed.
      {"<?xml version=\"1.0\"?><html xmlns=\"http://www.w3.org/1999/xhtml\"><video src=\"/x.mp4\"/>"
       "</html>",
       "/x.mp4"},
  };
  for (const auto& [page, want] : cases) EXPECT_EQ(Named(page), want) << page;
}

TEST(PackedScriptTable, UnpacksBoundedAndOnlyThePackersOwnShape) {
  std::string words;
  for (int i = 0; i < 62; ++i) words += (i == 0 ? "w" : "|w") + std::to_string(i);
  using Limits = PackedScriptLimits;
  const std::string big = std::string(1000, 'x');
  const std::vector<std::pair<std::string, std::string>> cases{
      {Packed("0 a z A Z 10 _1 1_", 62, words), "w0 w10 w35 w36 w61 10 _1 1_\n"},
      {Packed("0 1 2 3", 62, "x||z"), "x 1 z 3\n"},  // empty words keep their token
      {Packed("a b", 10, "x|y"), "a b\n"},           // not digits in base 10
      {Packed("0", 95, "x"), ""},                    // another packer's alphabet
      {kPacker + "(x,62,1,y,0,{}))", ""},
      {"function(p,a,c,k,e,d){}", ""},
      {Packed("0", 62, "x") + Packed("0", 62, "y") + Packed("0", 62, "z") + Packed("0", 62, "v") +
           Packed("0", 62, "w"),
       "x\ny\nz\nv\n"},
  };
  for (const auto& [script, want] : cases) EXPECT_EQ(UnpackScript(script), want) << script;
  std::string payload;
  for (int i = 0; i < 2000; ++i) payload += "0 ";
  EXPECT_EQ(UnpackScript(Packed(payload, 62, big)).size(), Limits::kMaxUnpackedBytes);
}

TEST(BodyKindTable, TheServersTypeTheAddressThePagesTypeAndTheFirstBytes) {
  using enum BodyKind;
  using namespace std::string_literals;
  const std::string mp4 =
                        "\0\0\0\x18"
                        "ftypmp42"s,
                    webm = "\x1A\x45\xDF\xA3\x9F\x42\x86\x81"s;
  const std::string ts = "G\x40\x00\x10"s + std::string(184, '\xFF') + "G\x40"s;
  struct Case {
    std::string type, extension, declared, head;
    BodyKind want;
    bool vouched = false;
  };
  const std::vector<Case> cases{
      {"video/mp4", "", "", "", Media},
      {"application/octet-stream", "mp4", "", "", Media},
      {"text/html; charset=utf-8", "mp4", "", "<html>", Page},
      {"application/x-mpegURL", "", "", "", Stream},
      {"video/mp4", "", "", "#EXTM3U\n", Stream},
      {"", "mpd", "", "", Stream},
      // A server that says "bytes": the page's type, then the first bytes.
      {"application/octet-stream", "", "video/mp4", "\x01\x02"s, Media},
      {"application/octet-stream", "", "video/mp4", "<html>", Unknown},
      {"binary/octet-stream", "", "application/dash+xml", "", Stream},
      {"application/octet-stream", "", "", "\x01\x02"s, Unknown},
      {"application/octet-stream", "", "", mp4, Media},
      // Media bytes are media whatever the server calls them.
      {"text/plain", "webm", "", webm, Media},
      {"text/html", "", "", ts, Media},
      {"text/plain", "", "", "ID3\x04\x00"s, Media},
      {"text/plain", "", "", "\xFF\xF1\x50\x80"s, Media},   // ADTS
      {"text/plain", "", "", "\xFF\xFE<\x00h\x00"s, Page},  // UTF-16, not an MP3 frame
      {"text/plain", "", "", "RIFF\x10\x00\x00\x00WAVEfmt "s, Media},
      {"text/plain", "", "", "G" + std::string(200, 'a'), Page},
      // Feeds and playlists are read as pages; other types are refused.
      {"application/rss+xml", "", "", "<?xml", Page},
      {"text/plain", "", "", "#EXTM3U\n", Stream},
      {"application/xml", "", "", "<?xml version='1.0'?>\n<!-- x --><MPD ", Stream},
      {"application/xml", "", "", "<?xml version='1.0'?><rss>", Page},
      {"application/json", "", "", "{", Page},
      {"application/pdf", "", "", "%PDF", Unknown},
      {"application/pdf", "", "", "%PDF", Media, true},
      {"", "", "", "", Media, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyBody({c.type, c.extension, c.declared, c.head, c.vouched}), c.want)
        << c.type << " ." << c.extension << " " << c.declared << " " << c.head.size();
  }
}

TEST(TransferEndTable, AStrayTailAfterAPackedBodyIsNoFault) {
  ResponseHead plain, packed;
  packed.contentEncoding = "gzip";
  EXPECT_TRUE(EndedWhole(CURLE_OK, plain, false));
  EXPECT_TRUE(EndedWhole(CURLE_WRITE_ERROR, plain, true));
  EXPECT_FALSE(EndedWhole(CURLE_WRITE_ERROR, plain, false));
  EXPECT_TRUE(EndedWhole(CURLE_WRITE_ERROR, packed, false));
  EXPECT_FALSE(EndedWhole(CURLE_BAD_CONTENT_ENCODING, packed, false));
  EXPECT_FALSE(EndedWhole(CURLE_PARTIAL_FILE, packed, true));
}

}  // namespace
}  // namespace tarnfetch
