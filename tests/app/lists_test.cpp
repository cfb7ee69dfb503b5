// An address that is a list of videos, through the real window and the
// real tarnfetch, with a stand-in site extractor that answers a flat list
// of 3 or 40 videos and each video's page.
#include <QComboBox>
#include <QLineEdit>
#include <filesystem>

#include "missions/MissionStatus.h"
#include "support/LoopbackServer.h"
#include "support/QtTestApp.h"
#include "support/WindowSandbox.h"

namespace quillmarsh {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {
// A flat list of `count` entries, as `yt-dlp -J --flat-playlist` gives it.
std::string FlatList(const std::string& base, int count) {
  std::string entries;
  for (int i = 1; i <= count; ++i) {
    if (i > 1) entries += ",";
    entries += R"({"_type": "url", "url": ")" + base + "/v/" + std::to_string(i) +
               R"(", "title": "Video )" + std::to_string(i) + R"("})";
  }
  return R"({"_type": "playlist", "title": "A list", "entries": [)" + entries + "]}";
}

class Lists : public WindowSandbox {
 protected:
  Lists() : WindowSandbox(true) {}
  void SetUp() override {
    // Pages without a video of their own, so that the extractor is asked,
    // and the videos' files.
    server_.Routes().Get(R"(/(list\d+|v/\d+))",
                         [](const httplib::Request&, httplib::Response& res) {
                           res.set_content("<html><title>page</title></html>", "text/html");
                         });
    server_.Routes().Get(R"(/clip/(\d+)\.mp4)",
                         [](const httplib::Request& req, httplib::Response& res) {
                           res.set_content("video " + std::string(req.matches[1]), "video/mp4");
                         });
    const std::string base = server_.Url("");
    WriteFile(dir_.file("list3.json"), FlatList(base, 3));
    WriteFile(dir_.file("list40.json"), FlatList(base, 40));
    fs::create_directories(dir_.file("bin"));
    WriteFile(dir_.file("bin/yt-dlp"),
              "#!/bin/sh\nfor last; do :; done\ncase \"$last\" in\n"
              "  */list3) cat '" +
                  dir_.file("list3.json") +
                  "' ;;\n"
                  "  */list40*) cat '" +
                  dir_.file("list40.json") +
                  "' ;;\n"
                  "  */v/*) n=${last##*/}; printf '{\"title\": \"Video %s\", \"url\": \"" +
                  base + "/clip/%s.mp4\", \"ext\": \"mp4\"}' \"$n\" \"$n\" ;;\nesac\n");
    fs::permissions(dir_.file("bin/yt-dlp"), fs::perms::owner_all);
    path_ = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(dir_.file("bin")) + ":" + path_);
    WindowSandbox::SetUp();
  }
  void TearDown() override {
    WindowSandbox::TearDown();
    qputenv("PATH", path_);
  }
  void add(const std::string& url) {
    w_->edtUrl->setText(QString::fromStdString(url));
    w_->btnGoClick();
  }

  LoopbackServer server_;
  QByteArray path_;
};
}  // namespace

TEST_F(Lists, AListOfThreeAddsItsVideosWhichDownloadPassingOverOnePresent) {
  list().addLsvItem(server_.Url("/v/2"), std::string(Status::Converted), 100, {}, {}, {}, false, {},
                    {});
  w_->cmbPriority->setCurrentIndex(2);
  add(server_.Url("/list3"));
  ASSERT_TRUE(SpinUntil([&] { return list().count() == 4; }, 30s)) << list().status(1);
  EXPECT_EQ(list().status(1), "[List] 3 videos");
  EXPECT_EQ(list().url(2), server_.Url("/v/1"));
  EXPECT_EQ(list().url(3), server_.Url("/v/3"));
  EXPECT_EQ(list().caption(3), "Video 3");
  EXPECT_EQ(list().record(3).priority, "Time First");
  EXPECT_EQ(boxes_.boxes(),
            QStringList{QStringLiteral("Quillmarsh|This URL has already been added.")});
  w_->cmbPriority->setCurrentIndex(0);  // the list's choices were taken when it was added
  for (int row : {2, 3}) {
    EXPECT_TRUE(SpinUntil([&] { return list().status(row) == Status::Downloaded; }, 60s))
        << list().status(row) << " " << list().reason(row);
  }
  EXPECT_EQ(ReadFile(outputDir() + "Video 3.mp4"), "video 3");
}

TEST_F(Lists, AListOfFortyAsksFirst) {
  const QString asked =
      QStringLiteral("Quillmarsh|This address is a list of 40 videos. Add them all?");
  boxes_.setAnswer(mrNo);
  add(server_.Url("/list40"));
  ASSERT_TRUE(SpinUntil([&] { return !boxes_.boxes().isEmpty(); }, 30s)) << list().status(0);
  SpinFor(100ms);
  EXPECT_EQ(boxes_.boxes(), QStringList{asked});
  EXPECT_EQ(list().count(), 1) << "No leaves the list row alone";
  EXPECT_EQ(list().status(0), "[List] 40 videos");
}

}  // namespace quillmarsh
