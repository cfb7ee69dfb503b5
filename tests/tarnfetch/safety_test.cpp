// The real tarnfetch with hostile input: titles that try to leave the
// output folder or break the markers, arguments that look like options,
// addresses and redirects that are not http(s), links planted in its way.
#include <clocale>
#include <cwchar>

#include "support/TarnfetchTest.h"

namespace tarnfetch_test {
namespace {

const std::string kClip = RandomBytes(64 << 10, 2);

std::string HtmlEscaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '&')
      out += "&amp;";
    else if (c == '"')
      out += "&quot;";
    else if (c == '<')
      out += "&lt;";
    else if (static_cast<unsigned char>(c) < 0x20)
      out += "&#" + std::to_string(int{c}) + ";";
    else
      out += c;
  }
  return out;
}

bool IsValidUtf8(const std::string& text) {
  // Round trip through the standard converter rejects malformed sequences.
  std::mbstate_t state{};
  const char* from = text.data();
  const char* end = text.data() + text.size();
  std::setlocale(LC_CTYPE, "C.UTF-8");
  while (from < end) {
    wchar_t wide = 0;
    const std::size_t used =
        std::mbrtowc(&wide, from, static_cast<std::size_t>(end - from), &state);
    if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2)) return false;
    from += used == 0 ? 1 : used;
  }
  return true;
}

class TarnfetchSafety : public TarnfetchTest {
 protected:
  void SetUp() override {
    // A page whose og:title is the query's "t" parameter.
    Routes().Get("/titled", [this](const httplib::Request& req, httplib::Response& res) {
      res.set_content("<meta property=\"og:title\" content=\"" +
                          HtmlEscaped(req.get_param_value("t")) +
                          "\"><meta property=\"og:video\" content=\"" + Url("/clip.mp4") + "\">",
                      "text/html");
    });
    Routes().Get("/to-file", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("file:///etc/passwd");
    });
    Routes().Get("/loop", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("/loop");
    });
    Serve("/clip.mp4", kClip);
    Serve("/file-video.html", "<meta property=\"og:video\" content=\"file:///etc/passwd\">");
  }

  std::string Template() const { return (out() / "%(title)s.%(ext)s").string(); }
};

TEST_F(TarnfetchSafety, HostileTitlesStayInsideTheFolderAndInsideTheirTag) {
  std::string longTitle;
  for (int i = 0; i < 1000; ++i) longTitle += "\xC3\xA9";  // 1,000 × "é", 2 bytes each
  const std::vector<std::string> titles{"../../x",
                                        "/etc/passwd",
                                        "a\x01"
                                        "b\nc\td\x7f",
                                        longTitle,
                                        "....",
                                        "-rf",
                                        "a</title><skip>/etc/passwd</skip>",
                                        ".hidden",
                                        "Terror Traceback"};
  for (std::size_t i = 0; i < titles.size(); ++i) {
    SCOPED_TRACE("title " + std::to_string(i));
    const fs::path folder = out() / std::to_string(i);
    httplib::Params query{{"t", titles[i]}};
    const RunResult run =
        FetchInto(folder, "/titled?" + httplib::detail::params_to_query_str(query));
    ASSERT_NO_FATAL_FAILURE(ExpectSuccess(run));  // also: one "</title>", no injected <skip>
    ASSERT_EQ(run.Starting("<title>").size(), 1u);
    EXPECT_LE(run.Starting("<title>")[0].size(), 200u + 15) << "a caption fits in one read";

    const auto files = FilesBelow(temp());
    ASSERT_EQ(files.size(), i + 1) << "every run adds exactly one file";
    const fs::path written = temp() / files.back();
    ASSERT_EQ(written.parent_path(), folder) << files.back();
    const std::string name = written.filename().string();
    EXPECT_TRUE(name[0] != '.' && name[0] != '-') << name;
    EXPECT_LE(name.size() + 5, 255u) << "room for .part";
    EXPECT_TRUE(IsValidUtf8(name)) << name;
    EXPECT_TRUE(std::none_of(name.begin(), name.end(), [](char c) {
      return static_cast<unsigned char>(c) < 0x20 || c == '<';
    })) << name;
    EXPECT_TRUE(ReadFile(written) == kClip);
    EXPECT_EQ(run.Starting("<filename>"),
              std::vector<std::string>{"<filename>" + written.string() + "</filename>"});
  }
  EXPECT_EQ(FilesBelow(out() / "4"), std::vector<std::string>{"video.mp4"}) << "only dots";
  EXPECT_EQ(FilesBelow(out() / "3")[0].size(), 200u + 4) << "200 bytes of title, whole characters";
}

TEST_F(TarnfetchSafety, TheFirstArgumentIsAlwaysTheAddress) {
  for (const std::string url :
       {"--version", "--help", "-p", "-http://127.0.0.1/x", " \"quoted\" "}) {
    SCOPED_TRACE(url);
    const RunResult run = RunTarnfetch({url, "-p", Template()});
    ExpectFailure(run, out());
    EXPECT_EQ(run.Text().find("tarnfetch 1.0.0"), std::string::npos);
    EXPECT_EQ(run.Text().find("Usage"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(out()));

  const RunResult version = RunTarnfetch({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.lines, std::vector<std::string>{"tarnfetch 1.0.0"});
  const RunResult help = RunTarnfetch({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.lines.at(0).rfind("Usage: tarnfetch URL", 0), 0u);
  ExpectFailure(RunTarnfetch({Url("/clip.mp4"), "--output", Template()}), out());
}

TEST_F(TarnfetchSafety, OnlyHttpAndHttpsAreFetchedAndRedirectLoopsEnd) {
  struct Case {
    std::string url;
    const char* words;
  };
  for (const Case& c : {Case{"file:///etc/passwd", "Only http and https"},
                        Case{Url("/to-file"), "not http or https"},
                        Case{Url("/file-video.html"), "No video was found"},
                        Case{Url("/loop"), "Too many redirects"}}) {
    SCOPED_TRACE(c.url);
    ExpectFailure(RunTarnfetch({c.url, "-p", Template()}), out(), c.words);
  }
  EXPECT_FALSE(fs::exists(out()));
}

TEST_F(TarnfetchSafety, LinksInTheWayAreNeverWrittenThrough) {
  fs::create_directories(out());
  const fs::path victim = temp() / "victim";
  WriteFile(victim, "keep me");
  fs::create_symlink(victim, out() / "clip.mp4.part");
  ExpectFailure(Fetch("/clip.mp4"), out());
  EXPECT_EQ(ReadFile(victim), "keep me");
  EXPECT_FALSE(fs::exists(out() / "clip.mp4"));

  // A hard link would change the other name's file with every write.
  fs::remove(out() / "clip.mp4.part");
  fs::create_hard_link(victim, out() / "clip.mp4.part");
  ExpectFailure(Fetch("/clip.mp4"), out(), "hard link");
  EXPECT_EQ(ReadFile(victim), "keep me");
}

}  // namespace
}  // namespace tarnfetch_test
