// Titles through the real tarnfetch: what the title line and the file name
// keep of a hostile or oddly encoded title.
#include "support/TarnfetchTest.h"

namespace tarnfetch_test {
namespace {

const std::string kClip = RandomBytes(32 << 10, 3);

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

struct Case {
  const char* name;
  std::string contentType;
  std::string head;        // page text before the og:video tag
  std::string shownTitle;  // between <title> and </title>
  std::string fileName;
  std::string video = "/clip.mp4";  // what og:video names
};

using TarnfetchTitles = TarnfetchTest;

TEST_F(TarnfetchTitles, TitleLineAndFileNameAreCleanAndShort) {
  const std::string fffd = "\xEF\xBF\xBD";
  const std::vector<Case> cases{
      {"bidi controls", "text/html",
       "<meta property='og:title' content='\xE2\x80\xAEgpj.exe\xE2\x80\xAC a\xE2\x81\xA6"
       "b\xE2\x81\xA9 c\xE2\x80\x8E\xE2\x80\x8F'>",
       "gpj.exe ab c", "gpj.exe ab c.mp4"},
      {"C1 controls", "text/html; charset=utf-8",
       "<title>one\xC2\x85two\xC2\x9B three\xC2\x80</title>", "onetwo three", "onetwo three.mp4"},
      // The file's own name stands in for an empty title; here it is empty
      // too once cleaned.
      {"nothing left", "text/html", "<title> \xE2\x80\x8F \xC2\x85 \xE2\x81\xA6 &#x202E; </title>",
       "video", "video.mp4", "/media/%E2%80%8F%C2%85.mp4"},
      {"stray bytes in UTF-8", "text/html; charset=utf-8", "<title>caf\xE9 \xFF\xFE!</title>",
       "caf" + fffd + " " + fffd + fffd + "!", "caf" + fffd + " " + fffd + fffd + "!.mp4"},
      {"Latin-1 by header", "text/html; charset=ISO-8859-1",
       "<meta property=og:title content=\"caf\xE9 cr\xE8me\">", "caf\xC3\xA9 cr\xC3\xA8me",
       "caf\xC3\xA9 cr\xC3\xA8me.mp4"},
      {"Latin-1 by meta charset", "text/html",
       "<meta charset=\"latin1\"><title>na\xEFve &eacute;t\xE9</title>",
       "na\xC3\xAFve \xC3\xA9t\xC3\xA9", "na\xC3\xAFve \xC3\xA9t\xC3\xA9.mp4"},
      // Each "<" is shown as a 3-byte look-alike: cut to a 400-byte line.
      {"escaping makes it longer", "text/html", "<title>" + Repeat("&lt;", 1000) + "</title>",
       Repeat("\xEF\xBC\x9C", 128), Repeat("_", 200) + ".mp4"},
  };

  const Case* current = nullptr;
  Routes().Get("/page", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(current->head + "<meta property=og:video content=" + current->video + ">",
                    current->contentType);
  });
  // A file whose own name carries the controls, for a title from the address.
  Routes().Get("/media/.*", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(kClip, "video/mp4");
  });
  Serve("/clip.mp4", kClip);
  const Case fromAddress{"title from the address", "", "", "evil-gpj", "evil-gpj.mp4"};

  std::vector<const Case*> all;
  for (const Case& c : cases) all.push_back(&c);
  all.push_back(&fromAddress);
  for (const Case* c : all) {
    SCOPED_TRACE(c->name);
    current = c;
    const fs::path folder = temp() / c->name;
    const RunResult run = FetchInto(
        folder, c == &fromAddress ? "/media/%E2%80%AEevil%E2%80%8F-gpj%C2%9F.mp4" : "/page");
    ASSERT_NO_FATAL_FAILURE(ExpectSuccess(run));
    const auto titles = run.Starting("<title>");
    ASSERT_EQ(titles.size(), 1u) << run.Text();
    EXPECT_EQ(titles[0], "<title>" + c->shownTitle + "</title>");
    EXPECT_LE(titles[0].size(), 400u);
    EXPECT_EQ(FilesBelow(folder), std::vector<std::string>{c->fileName});
    EXPECT_TRUE(ReadFile(folder / c->fileName) == kClip);
  }
}

}  // namespace
}  // namespace tarnfetch_test
