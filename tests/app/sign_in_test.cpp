// Asking once per site for the user's sign-in, in the real program with the
// real downloader: a loopback site whose pages answer 403 without its
// session cookie, and a Firefox profile in the user's home that holds it.
#include <gtest/gtest.h>
#include <signal.h>

#include "shared/ProgramVocabulary.h"
#include "support/FirefoxProfile.h"
#include "support/LoopbackServer.h"
#include "support/ProbeProcess.h"
#include "support/QtTestApp.h"

namespace quillmarsh {
namespace {

const std::string kSecret = "s3cr3t-Members-41be07";
const QByteArray kQuestion =
    "BOX\tQuillmarsh\t127.0.0.2 asks you to sign in. Use your sign-in from Firefox for 127.0.0.2?";

class SignIn : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApp();
    site_.Routes().Get(R"(/watch/(\w+))", [](const httplib::Request& req, httplib::Response& res) {
      if (req.get_header_value("Cookie") != "session=" + kSecret) {
        res.status = 403;
        return;
      }
      res.set_content("<html><head><title>Clip " + req.matches[1].str() +
                          "</title></head><body><video src=\"/clip.mp4\"></video></body></html>",
                      "text/html");
    });
    site_.Routes().Get("/clip.mp4", [](const httplib::Request& req, httplib::Response& res) {
      if (req.get_header_value("Cookie") != "session=" + kSecret) {
        res.status = 403;
        return;
      }
      res.set_content(std::string(20000, 'v'), "video/mp4");
    });
    WriteFirefoxProfile(app_.home() + "/.mozilla/firefox",
                        {{"127.0.0.2", "session", kSecret, false, true}});
  }
  QString Url(const std::string& name) {
    return QString::fromStdString(site_.Url("/watch/" + name));
  }
  static int Count(const QByteArray& out, const QByteArray& text) { return out.count(text); }
  void Close(ProbeProcess& probe) {
    probe.Signal(SIGTERM);
    ASSERT_TRUE(probe.WaitForEnd(10000));
  }

  AppFolder app_;
  LoopbackServer site_{"127.0.0.2"};
};

TEST_F(SignIn, YesRetriesTheSitesMissionsWithTheBrowsersCookiesAndIsRemembered) {
  {
    ProbeProcess first(
        app_, {QStringLiteral("--answer"), QStringLiteral("yes"), QStringLiteral("--add"), Url("a"),
               QStringLiteral("--add"), Url("b")});
    ASSERT_TRUE(first.WaitFor("ROW\t0\t[Downloaded]\t100\tClip a")) << first.out.constData();
    ASSERT_TRUE(first.WaitFor("ROW\t1\t[Downloaded]\t100\tClip b")) << first.out.constData();
    // Both failed first; the site was asked about once.
    EXPECT_EQ(Count(first.out, "\t[Error in download]\t"), 2) << first.out.constData();
    EXPECT_EQ(Count(first.out, kQuestion), 1) << first.out.constData();
    Close(first);
  }
  const std::string ini = ReadFile(app_.iniPath());
  EXPECT_NE(ini.find("\r\nSite1=127.0.0.2 firefox\r\n"), std::string::npos) << ini;
  EXPECT_EQ(ini.find(kSecret), std::string::npos);

  ProbeProcess second(
      app_, {QStringLiteral("--answer"), QStringLiteral("no"), QStringLiteral("--add"), Url("c")});
  ASSERT_TRUE(second.WaitFor("ROW\t2\t[Downloaded]\t100\tClip c")) << second.out.constData();
  EXPECT_FALSE(second.out.contains("BOX\t")) << second.out.constData();
  EXPECT_FALSE(second.out.contains("[Error in download]")) << second.out.constData();
  Close(second);
}

TEST_F(SignIn, NoLeavesTheMissionFailedAndIsRemembered) {
  {
    ProbeProcess first(app_, {QStringLiteral("--answer"), QStringLiteral("no"),
                              QStringLiteral("--add"), Url("a")});
    ASSERT_TRUE(first.WaitFor(kQuestion)) << first.out.constData();
    SpinFor(std::chrono::milliseconds(1500));
    EXPECT_EQ(Count(first.out, "ROW\t0\t[Error in download]"), 1) << first.out.constData();
    EXPECT_FALSE(first.out.contains("[Downloaded]")) << first.out.constData();
    Close(first);
  }
  EXPECT_NE(ReadFile(app_.iniPath()).find("\r\nSite1=127.0.0.2 no\r\n"), std::string::npos);

  ProbeProcess second(
      app_, {QStringLiteral("--answer"), QStringLiteral("yes"), QStringLiteral("--add"), Url("b")});
  ASSERT_TRUE(second.WaitFor("ROW\t1\t[Error in download]")) << second.out.constData();
  SpinFor(std::chrono::milliseconds(1000));
  EXPECT_FALSE(second.out.contains("BOX\t")) << second.out.constData();
  Close(second);
}

}  // namespace
}  // namespace quillmarsh
