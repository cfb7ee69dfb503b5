// The whole program as a user meets it: a page served on loopback, the real
// downloader, the real ffmpeg, the real entry sequence.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QProcess>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <random>

#include "support/AppFolder.h"
#include "support/LoopbackServer.h"
#include "support/QtTestApp.h"
#include "support/TestMedia.h"

namespace quillmarsh {

namespace fs = std::filesystem;

namespace {
// A running probe whose printed lines are collected as they come.
class Probe {
 public:
  Probe(const AppFolder& app, const QStringList& args) {
    p_.setProcessEnvironment(app.environment());
    p_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p_.start(QString::fromStdString(app.program()), args);
  }
  ~Probe() {
    if (p_.state() != QProcess::NotRunning) {
      p_.kill();
      p_.waitForFinished(5000);
    }
  }
  // Waits until some printed line contains `text`; that line, or "" on time-out.
  std::string waitFor(const std::string& text, int seconds = 60) {
    QElapsedTimer t;
    t.start();
    for (;;) {
      while (p_.canReadLine()) {
        const std::string line = p_.readLine().trimmed().toStdString();
        seen_ += line + "\n";
        if (line.find(text) != std::string::npos) return line;
      }
      if (t.elapsed() > seconds * 1000 || p_.state() == QProcess::NotRunning) return {};
      p_.waitForReadyRead(200);
    }
  }
  void kill() {
    ::kill(static_cast<pid_t>(p_.processId()), SIGKILL);
    p_.waitForFinished(5000);
  }
  const std::string& seen() const { return seen_; }

 private:
  QProcess p_;
  std::string seen_;
};

// Random bytes served at `path` in pieces of `piece` bytes every 20 ms,
// each request's Range header kept.
struct SlowFile {
  SlowFile(const std::string& path, std::size_t size, std::size_t piece) : data(size, '\0') {
    std::mt19937 random(7);
    for (char& c : data) c = static_cast<char>(random());
    server.Routes().Get(path, [this, piece](const httplib::Request& req, httplib::Response& res) {
      {
        std::lock_guard guard(lock);
        ranges.push_back(req.get_header_value("Range"));
      }
      res.set_content_provider(
          data.size(), "video/mp4", [this, piece](size_t offset, size_t, httplib::DataSink& sink) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return sink.write(data.data() + offset, std::min(piece, data.size() - offset));
          });
    });
  }
  std::vector<std::string> Ranges() {
    std::lock_guard guard(lock);
    return ranges;
  }
  std::string data;
  std::mutex lock;
  std::vector<std::string> ranges;
  LoopbackServer server;  // last: stops before the rest goes
};

std::string outputDir(const AppFolder& app) {
  return app.home() + "/Documents/Video Download/";
}
}  // namespace

TEST(EndToEnd, PageIsDownloadedAndConvertedToMp3) {
  EnsureQtApp();
  AppFolder app;
  ASSERT_TRUE(MakeClip({}, {app.home() + "/source.mp4"}));
  const std::string clip = ReadFile(app.home() + "/source.mp4");
  ASSERT_GT(clip.size(), 1000u);

  LoopbackServer server;
  server.Routes().Get("/media/clip.mp4", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(clip, "video/mp4");
  });
  server.Routes().Get("/watch", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(
        "<html><head><title>ignored</title>"
        "<meta property=\"og:title\" content=\"Lake at dawn\">"
        "<meta property=\"og:video\" content=\"/media/clip.mp4\"></head></html>",
        "text/html");
  });
  server.Start();

  Probe probe(app, {QStringLiteral("--convert"), QStringLiteral("MP3 Audio(.mp3)"),
                    QStringLiteral("--add"), QString::fromStdString(server.Url("/watch"))});
  EXPECT_NE(probe.waitFor("\t[Downloaded]\t100\tLake at dawn"), "") << probe.seen();
  EXPECT_NE(probe.waitFor("\t[Converted]\t100\tLake at dawn"), "") << probe.seen();

  const std::string video = outputDir(app) + "Lake at dawn.mp4";
  EXPECT_TRUE(ReadFile(video) == clip) << "the downloaded file is the served one";
  EXPECT_GT(fs::file_size(video + ".mp3"), 1000u) << "the audio lies next to the video";
  EXPECT_EQ(probe.seen().find("BOX"), std::string::npos) << probe.seen();
}

TEST(EndToEnd, KilledDuringDownloadResumesWithRangeAndEndsIdentical) {
  EnsureQtApp();
  AppFolder app;
  SlowFile served("/slow.mp4", 3 << 20, 32 * 1024);
  const QString url = QString::fromStdString(served.server.Url("/slow.mp4"));

  {
    Probe first(app, {QStringLiteral("--add"), url});
    // Killed at the first report from 1 % to 59 %, whatever steps the reports take.
    std::string line;
    while (!(line = first.waitFor("\t[Downloading] ")).empty()) {
      const int percent = std::atoi(line.c_str() + line.find("[Downloading] ") + 14);
      if (percent >= 1 && percent <= 59) break;
    }
    ASSERT_NE(line, "") << first.seen();
    first.kill();
  }
  const std::string settings = ReadFile(app.iniPath());
  EXPECT_NE(settings.find("url=" + url.toStdString()), std::string::npos) << settings;

  Probe second(app, {});
  EXPECT_NE(second.waitFor("\t[Downloaded]\t100"), "") << second.seen();
  EXPECT_TRUE(ReadFile(outputDir(app) + "slow.mp4") == served.data) << "resumed file differs";
  const std::vector<std::string> ranges = served.Ranges();
  ASSERT_GE(ranges.size(), 2u);
  EXPECT_EQ(ranges.front(), "");
  EXPECT_EQ(ranges.back().rfind("bytes=", 0), 0u) << "the second run resumes: " << ranges.back();
  EXPECT_NE(ranges.back(), "bytes=0-");
}

// Pause in one run, close; the next run keeps it paused until Resume, which
// continues from the ".part" the first run left.
TEST(EndToEnd, PausedDownloadStaysPausedAcrossARestartAndResumesFromItsPart) {
  EnsureQtApp();
  AppFolder app;
  SlowFile served("/paused.mp4", 768 << 10, 8 * 1024);
  const QString url = QString::fromStdString(served.server.Url("/paused.mp4"));
  std::string paused;  // the row as the first run left it: "[Paused]" and its bar
  {
    // Paused at the first progress report from 1 % to 59 %, whatever steps it takes.
    QStringList args{QStringLiteral("--add"), url};
    for (const char* tens : {"1", "2", "3", "4", "5"})
      args << QStringLiteral("--on") << QStringLiteral("\t[Downloading] ") + QLatin1String(tens)
           << QStringLiteral("pause");
    Probe first(app, args << QStringLiteral("--on") << QStringLiteral("\t[Paused]\t")
                          << QStringLiteral("close"));
    paused = first.waitFor("\t[Paused]\t");
    ASSERT_NE(first.waitFor("EXIT\t0"), "") << first.seen();
  }
  std::uintmax_t partSize = 0;
  for (const auto& entry : fs::directory_iterator(outputDir(app)))
    if (entry.path().extension() == ".part") partSize = entry.file_size();
  ASSERT_GT(partSize, 0u) << "the paused download's part stays";

  Probe second(app,
               {QStringLiteral("--on"), QStringLiteral("\t[Paused]\t"), QStringLiteral("resume")});
  EXPECT_NE(second.waitFor("\t[Downloaded]\t100"), "") << second.seen();
  EXPECT_LT(second.seen().find(paused), second.seen().find("[Wait for download]"))
      << "loaded paused with its bar, waiting only after Resume: " << second.seen();
  EXPECT_TRUE(ReadFile(outputDir(app) + "paused.mp4") == served.data) << "resumed file differs";
  EXPECT_EQ(served.Ranges().back().rfind("bytes=" + std::to_string(partSize) + "-", 0), 0u)
      << "continues from the paused size " << partSize;
}

// A page that shows its player in a frame, the player set up by a script,
// the video an HLS stream: one video with picture and sound, under the
// page's title.
TEST(EndToEnd, AStreamInAFramedScriptedPlayerBecomesOneVideo) {
  EnsureQtApp();
  AppFolder app;
  const std::string stream = app.home() + "/stream";
  fs::create_directories(stream);
  ASSERT_TRUE(MakeClip({}, HlsOutput(stream, "index", 1, "index%d.ts")));

  LoopbackServer server;
  ASSERT_TRUE(server.Routes().set_mount_point("/hls", stream));
  server.Routes().Get("/tour", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(
        "<html><head><meta property=\"og:title\" content=\"Harbour tour\"></head>"
        "<body><iframe src=\"/embed/7\"></iframe></body></html>",
        "text/html");
  });
  server.Routes().Get("/embed/7", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(
        "<html><body><div id=\"p\"></div><script>jwplayer(\"p\").setup({sources: "
        "[{file: \"/hls/index.m3u8\", label: \"720p\"}]});</script></body></html>",
        "text/html");
  });

  Probe probe(app, {QStringLiteral("--add"), QString::fromStdString(server.Url("/tour"))});
  EXPECT_NE(probe.waitFor("\t[Downloaded]\t100\tHarbour tour"), "") << probe.seen();
  const std::string video = outputDir(app) + "Harbour tour.mp4";
  EXPECT_EQ(Ffprobe(video, "stream=codec_type"), "video\naudio\n");
  EXPECT_EQ(probe.seen().find("BOX"), std::string::npos) << probe.seen();
}

}  // namespace quillmarsh
