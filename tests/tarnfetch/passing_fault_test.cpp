// Which failures tarnfetch says may pass: its error line is then followed
// by the try-later marker, on which Quillmarsh tries the download again.
#include "shared/ProgramVocabulary.h"
#include "support/TarnfetchTest.h"

namespace tarnfetch_test {
namespace {

using TarnfetchPassingFault = TarnfetchTest;

TEST_F(TarnfetchPassingFault, RefusedResetBusyAndFailingServersMayPassOthersDoNot) {
  const std::string clip = RandomBytes(64 << 10, 3);
  Routes().Get(R"(/status/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
    res.status = std::stoi(req.matches[1]);
  });
  Routes().Get("/cut.mp4", [&clip](const httplib::Request&, httplib::Response& res) {
    ServeHalfThenCut(res, clip);
  });
  const struct {
    std::string url;
    bool passing;
  } cases[] = {
      {"http://127.0.0.1:9/clip.mp4", true},  // refused
      {Url("/cut.mp4"), true},                // the connection breaks
      {Url("/status/429"), true},
      {Url("/status/503"), true},
      {Url("/status/404"), false},
      {Url("/status/403"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    const RunResult run = RunTarnfetch({c.url, "-p", (out() / "%(title)s.%(ext)s").string()});
    ExpectFailure(run, out());
    const auto error = std::find_if(run.lines.begin(), run.lines.end(),
                                    [](const std::string& l) { return l.starts_with("ERROR: "); });
    ASSERT_NE(error, run.lines.end());
    const bool marked = error + 1 != run.lines.end() && error[1] == quillmarsh::Marker::TryLater;
    EXPECT_EQ(marked, c.passing) << run.Text();
  }
}

}  // namespace
}  // namespace tarnfetch_test
