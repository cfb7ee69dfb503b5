// The real tarnfetch reading hostile pages of the full 8 MiB it accepts:
// whatever the page's shape, its memory stays small.
#include <functional>

#include "support/TarnfetchTest.h"

namespace tarnfetch_test {
namespace {

constexpr std::size_t kPageBytes = 8u << 20;
constexpr long kMaxPeakKb = 40'000'000 / 1024;  // 40 MB

std::string Repeat(const std::string& text, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += text;
  return out;
}

// `head`, then `unit` made from a counting number until the page is full.
std::string Page(const std::string& head, const std::function<std::string(std::size_t)>& unit) {
  std::string page = head;
  page.reserve(kPageBytes + 4096);
  for (std::size_t i = 0; page.size() < kPageBytes; ++i) page += unit(i);
  page.resize(kPageBytes);
  return page;
}

using TarnfetchPageMemory = TarnfetchTest;

TEST_F(TarnfetchPageMemory, EveryShapeOfPageStaysUnder40MB) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' own memory would be measured";
#endif
  const std::string big(64 << 10, '\x80');
  const std::vector<std::pair<const char*, std::function<std::string()>>> pages{
      {"one tag, four million attributes", [] { return Page("<a", [](auto) { return " x"; }); }},
      {"64 KiB Latin-1 values that triple in UTF-8",
       [&] {
         return Page("<meta charset=latin1>", [&](std::size_t i) {
           return " a" + std::to_string(i) + "=\"" + big + "\"" + (i % 64 == 63 ? "><a" : "");
         });
       }},
      {"half a million video tags",
       [] {
         return Page("", [](std::size_t i) { return "<video src=" + std::to_string(i) + ">"; });
       }},
      {"source tags with qualities",
       [] {
         return Page("<video>", [](std::size_t i) {
           return "<source src=/" + std::to_string(i) + " label=" + std::to_string(i % 2000) + "p>";
         });
       }},
      {"JSON-LD nested eight million deep",
       [] { return Page("<script type=application/ld+json>", [](auto) { return "[{\"a\":"; }); }},
      {"JSON-LD naming half a million addresses",
       [] {
         return Page("<script type=application/ld+json>[", [](std::size_t i) {
           return "{\"contentUrl\":\"/" + std::to_string(i) + "\"},";
         });
       }},
      {"a script of player set-ups",
       [] {
         return Page("<script>", [](std::size_t i) {
           return "jwplayer('p').setup({file: '/" + std::to_string(i) + ".mp4', label: '" +
                  std::to_string(i % 2000) + "p'});";
         });
       }},
      {"a player set-up nested eight million deep",
       [] { return Page("<script>p.setup(", [](auto) { return "[{a:"; }); }},
      {"a script of quoted addresses",
       [] {
         return Page("<script>", [](std::size_t i) {
           return "'http://127.0.0.1:1/" + std::to_string(i) + ".mp4',";
         });
       }},
      {"frames",
       [] {
         return Page("", [](std::size_t i) { return "<iframe src=/" + std::to_string(i) + ">"; });
       }},
      {"a title of references", [] { return Page("<title>", [](auto) { return "&#x1F600;"; }); }},
      {"video tags with data-* addresses and configurations",
       [] {
         return Page("", [](std::size_t i) {
           const std::string n = std::to_string(i);
           return "<video data-mp4=/" + n + ".mp4 data-hls=/" + n + ".m3u8 data-c='{\"src\":\"/" +
                  n + ".webm\"}'>";
         });
       }},
      {"scripts packed to unpack to a MiB each",
       [] {
         return Page("", [](auto) {
           return "<script>eval(function(p,a,c,k,e,d){return p}('" + Repeat("0 ", 300) +
                  "',62,1,'" + std::string(4096, 'w') + "'.split('|'),0,{}))</script>";
         });
       }},
      {"one packed payload of 8 MiB",
       [] {
         return Page("<script>eval(function(p,a,c,k,e,d){return p}('",
                     [](auto) { return "0 1 2 3 4 5 6 7 8 9 "; });
       }},
      {"an RSS feed of a hundred thousand items",
       [] {
         return Page("<rss><channel>", [](std::size_t i) {
           return "<item><title>" + std::to_string(i) + "</title><enclosure url=\"/" +
                  std::to_string(i) + ".mp4\" type=\"video/mp4\"/></item>";
         });
       }},
      {"a JSON playlist nested eight million deep",
       [] { return Page("{\"playlist\": [", [](auto) { return "{\"sources\":["; }); }},
      {"an XSPF location of 8 MiB",
       [] { return Page("<playlist><trackList><track><location>", [](auto) { return "/x"; }); }},
  };

  // The site extractor, which would be asked next, is not measured here.
  const ScopedEnv noPrograms("PATH", "/nonexistent");
  std::string current;
  // With a length the server sends the page as it is: compressing 8 MiB
  // would cost seconds.
  Routes().Get("/page", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(current.size(), "text/html",
                             [&](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                               return sink.write(current.data() + offset,
                                                 std::min<std::size_t>(length, 1 << 20));
                             });
  });
  for (const auto& [name, make] : pages) {
    SCOPED_TRACE(name);
    current = make();
    ASSERT_EQ(current.size(), kPageBytes);
    long peakKb = 0;
    const RunResult run = RunTarnfetchMeasured(Url("/page"), temp(), &peakKb);
    ExpectFailure(run, out());
    EXPECT_GT(peakKb, 8 << 10) << "the page itself is held";
    EXPECT_LT(peakKb, kMaxPeakKb);
  }
}

}  // namespace
}  // namespace tarnfetch_test
