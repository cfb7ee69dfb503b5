// The site extractor's answer: the parser's rules as a table, and the real
// tarnfetch's memory while it reads hostile answers of the full size.
#include "core/FetchError.h"
#include "extractor/ExtractorAnswer.h"
#include "support/TarnfetchTest.h"

namespace tarnfetch_test {
namespace {

using tarnfetch::ExtractorAnswer;
using tarnfetch::FetchError;

// `count` copies of `unit` between `head` and `tail`.
std::string Repeated(const std::string& head, const std::string& unit, std::size_t count,
                     const std::string& tail) {
  std::string text = head;
  text.reserve(head.size() + unit.size() * count + tail.size());
  for (std::size_t i = 0; i < count; ++i) text += unit;
  return text + tail;
}

const std::string kVideo = R"({"url": "https://cdn.example/v.mp4", "ext": "mp4"})";

// "title | url | extension | headers" of an answer with one format.
std::string Kept(const ExtractorAnswer& answer) {
  if (answer.formats.size() != 1) return std::to_string(answer.formats.size()) + " formats";
  const tarnfetch::ExtractedFormat& format = answer.formats[0];
  std::string text = answer.title + " | " + format.url + " | " + format.extension + " |";
  for (const std::string& header : format.headers) text += " " + header;
  return text;
}

TEST(ExtractorAnswerReader, KeepsWhatItNeeds) {
  const std::vector<std::tuple<const char*, std::string, const char*>> cases{
      // name, answer, what is kept
      {"a playlist of one entry gives the entry, with the list's title",
       R"({"_type": "playlist", "title": "List", "entries": [)" + kVideo + "]}",
       "List | https://cdn.example/v.mp4 | mp4 |"},
      {"the entry's own title wins",
       R"({"_type": "playlist", "title": "List", "entries": [{"title": "One",
           "url": "https://cdn.example/1.webm", "ext": "webm"}]})",
       "One | https://cdn.example/1.webm | webm |"},
      {"headers that change the encoding are left out",
       R"({"url": "https://cdn.example/v", "http_headers": {"Accept-Encoding": "gzip",
           "te": "gzip", "Range": "bytes=5-", "Transfer-Encoding": "chunked", "Referer": "r"}})",
       " | https://cdn.example/v |  | Referer: r"},
      {"an extension that is no media one is not taken",
       R"({"url": "https://cdn.example/v", "ext": "desktop"})", " | https://cdn.example/v |  |"},
      {"one requested format", R"({"title": "T", "requested_formats": [)" + kVideo + "]}",
       "T | https://cdn.example/v.mp4 | mp4 |"},
      {"keys of other formats are not read",
       R"({"formats": [{"url": "file:///etc/passwd"}], "url": "http://a/b"})",
       " | http://a/b |  |"},
  };
  for (const auto& [name, json, kept] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Kept(tarnfetch::ReadExtractorAnswer(json)), kept);
  }
}

// "videos, skipped, cut: first page | its title" of a list.
std::string Listed(const ExtractorAnswer& answer) {
  if (!answer.list) return "no list";
  const tarnfetch::VideoList& list = *answer.list;
  return std::to_string(list.videos.size()) + ", " + std::to_string(list.skipped) + ", " +
         (list.cut ? "cut" : "whole") + ": " + list.videos[0].url + " | " + list.videos[0].title;
}

TEST(ExtractorAnswerReader, ReadsAListsPagesAndTitles) {
  const std::string flat = R"({"_type": "url", "url": "https://site.example/w/1", "title": "One"})";
  const std::vector<std::tuple<const char*, std::string, std::string>> cases{
      {"a flat list", R"({"_type": "playlist", "entries": [)" + flat + "," + flat + "]}",
       "2, 0, whole: https://site.example/w/1 | One"},
      {"one flat entry is a list, asked about again",
       R"({"_type": "playlist", "entries": [)" + flat + "]}",
       "1, 0, whole: https://site.example/w/1 | One"},
      {"full entries give their pages; no web page or no object is skipped",
       R"({"_type": "playlist", "entries": [{"url": "https://cdn.example/1.mp4",
           "webpage_url": "https://site.example/w/1", "title": "One"}, null,
           {"_type": "url", "url": "ftp://site.example/w/3"}, )" +
           flat + "]}",
       "2, 2, whole: https://site.example/w/1 | One"},
      {"a longer list is cut",
       Repeated(R"({"_type": "playlist", "entries": [)", flat + ",", 5001, flat + "]}"),
       "5000, 0, cut: https://site.example/w/1 | One"},
  };
  for (const auto& [name, json, listed] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Listed(tarnfetch::ReadExtractorAnswer(json)), listed);
  }
}

TEST(ExtractorAnswerReader, RefusesWhatItCannotUseAndSaysWhy) {
  const std::vector<std::tuple<const char*, std::string, const char*>> cases{
      // name, answer, words of the refusal
      {"a list without a web address", R"({"_type": "playlist", "entries": [{"_type": "url",
           "url": "file:///x"}, null]})",
       "no video in it"},
      {"an empty playlist", R"({"_type": "playlist", "entries": []})", "no video in it"},
      {"an entry that is no object", R"({"_type": "playlist", "entries": ["x"]})",
       "no video in it"},
      {"three requested formats",
       R"({"requested_formats": [)" + kVideo + "," + kVideo + "," + kVideo + "]}",
       "more than one picture and one sound"},
      {"a requested format that is no object", R"({"requested_formats": [)" + kVideo + ", 5]}",
       "named no address"},
      {"not an object", "[1, 2]", "could not be read"},
      {"cut short", R"({"url": "http://a/b")", "could not be read"},
      {"a title nested a million lists deep", Repeated(R"({"title": )", "[", 1'000'000, ""),
       "nested more than 64 levels"},
      {"a text of 2 MiB", R"({"description": ")" + std::string(2 << 20, 'x') + R"("})",
       "longer than 1 MiB"},
      {"a number of 2 MiB", R"({"n": )" + std::string(2 << 20, '7') + "}", "longer than 1 MiB"},
      {"2 MiB of brackets without a value", Repeated(R"({"n": [)", "[],", 700'000, "[]]}"),
       "longer than 1 MiB"},
      {"a thousand headers",
       Repeated(R"({"url": "http://a/b", "http_headers": {)", R"("X": "y",)", 1000, R"("Z": ""}})"),
       "more than 64 request headers"},
  };
  for (const auto& [name, json, words] : cases) {
    SCOPED_TRACE(name);
    try {
      tarnfetch::ReadExtractorAnswer(json);
      ADD_FAILURE() << "accepted";
    } catch (const FetchError& refusal) {
      EXPECT_NE(std::string(refusal.what()).find(words), std::string::npos) << refusal.what();
    }
  }
}

// A stand-in extractor that prints the answer: tarnfetch's own peak stays
// under 40 MB whatever its shape, at the largest size it accepts.
using TarnfetchExtractorMemory = TarnfetchTest;

TEST_F(TarnfetchExtractorMemory, HostileAnswersOfFullSizeKeepTarnfetchSmall) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' own memory would be measured";
#endif
  constexpr long kMaxPeakKb = 40'000'000 / 1024;
  constexpr std::size_t kCount = 3'000'000;
  const std::vector<std::pair<const char*, std::string>> answers{
      {"small objects",
       Repeated(R"({"url": "http://127.0.0.1:1/v", "x": [)", R"({"k": 0},)", kCount, "{}]}")},
      {"a title five million lists deep", Repeated(R"({"title": )", "[", 5'000'000, "")},
      {"many formats",
       Repeated(R"({"url": "http://127.0.0.1:1/v", "formats": [)",
                R"({"url": "https://a.example/0123456789", "ext": "mp4"},)", 1'000'000, "{}]}")},
  };
  Serve("/page.html", "<html><title>x</title></html>");
  StandInPrograms programs;
  for (const auto& [name, answer] : answers) {
    SCOPED_TRACE(name);
    ASSERT_LT(answer.size(), 64u << 20);
    programs.Printing("yt-dlp", answer);
    long peakKb = 0;
    const RunResult run = RunTarnfetchMeasured(Url("/page.html"), temp(), &peakKb);
    ExpectFailure(run, out());
    EXPECT_LT(peakKb, kMaxPeakKb);
  }
}

}  // namespace
}  // namespace tarnfetch_test
