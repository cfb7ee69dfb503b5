// The real tarnfetch with the user's cookies, against a loopback site
// (127.0.0.2) whose page and media answer 403 without its session cookie,
// and another loopback host (127.0.0.3) it redirects the media to, which
// must never see the cookie. Cookies come from a cookie file, from a
// Firefox store written with Firefox's schema, and from a profile the real
// Chromium made.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "support/FirefoxProfile.h"
#include "support/LoopbackServer.h"
#include "support/StandInPrograms.h"
#include "support/TarnfetchOutput.h"
#include "support/TarnfetchRun.h"

namespace tarnfetch_test {
namespace {

const std::string kSecret = "s3cr3t-Session-7f2a91";
const std::string kSecureSecret = "s3cr3t-Secure-88c1e0";
const std::string kClip = RandomBytes(40 << 10, 31);

class TarnfetchCookies : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(tmp());
    const auto guarded = [this](auto serve) {
      return [this, serve](const httplib::Request& req, httplib::Response& res) {
        Record("site", req);
        if (req.get_header_value("Cookie").find("session=" + kSecret) == std::string::npos) {
          res.status = 403;
          return;
        }
        serve(req, res);
      };
    };
    site_.Routes().Get("/watch", guarded([](const httplib::Request&, httplib::Response& res) {
                         res.set_content(
                             "<html><head><title>Members only</title></head>"
                             "<body><video src=\"/media.mp4\"></video></body></html>",
                             "text/html");
                       }));
    site_.Routes().Get("/media.mp4",
                       guarded([this](const httplib::Request&, httplib::Response& res) {
                         res.set_redirect(other_.Url("/clip.mp4"));
                       }));
    site_.Routes().Get("/nothing.html",
                       guarded([](const httplib::Request&, httplib::Response& res) {
                         res.set_content("<html><body>no player</body></html>", "text/html");
                       }));
    // Sets the cookie in a browser that visits it.
    site_.Routes().Get("/login", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Set-Cookie", "session=" + kSecret + "; Path=/; Max-Age=86400; HttpOnly");
      res.set_content("<html><body>signed in</body></html>", "text/html");
    });
    other_.Routes().Get("/clip.mp4", [this](const httplib::Request& req, httplib::Response& res) {
      Record("other", req);
      res.set_content(kClip, "video/mp4");
    });
  }

  void Record(const std::string& host, const httplib::Request& req) {
    std::lock_guard guard(lock_);
    requests_.push_back(host + " " + req.path + " Cookie: " + req.get_header_value("Cookie"));
  }
  std::string Requests() {
    std::lock_guard guard(lock_);
    std::string all;
    for (const auto& line : requests_) all += line + "\n";
    return all;
  }

  RunResult Fetch(const std::vector<std::string>& cookieArgs, const std::string& page = "/watch") {
    ScopedEnv temp("TMPDIR", tmp().string());
    std::vector<std::string> args{site_.Url(page), "-p", (out() / "%(title)s.%(ext)s").string()};
    args.insert(args.end(), cookieArgs.begin(), cookieArgs.end());
    return RunTarnfetch(args);
  }

  // The download worked, the cookie reached the site's host alone (never
  // the other host, the Secure one never over http), and its value is in
  // no output and no file left behind: the run's temporary files are gone.
  void ExpectSignedInDownload(const RunResult& run) {
    EXPECT_EQ(run.exitCode, 0) << run.Text() << Requests();
    ExpectWellFormedOutput(run);
    EXPECT_EQ(ReadFile(out() / "Members only.mp4"), kClip);
    const std::string requests = Requests();
    EXPECT_NE(requests.find("other /clip.mp4 Cookie: \n"), std::string::npos) << requests;
    EXPECT_EQ(requests.find("other /clip.mp4 Cookie: s"), std::string::npos) << requests;
    EXPECT_EQ(requests.find(kSecureSecret), std::string::npos) << requests;
    ExpectNoTrace(run);
  }

  void ExpectNoTrace(const RunResult& run) {
    EXPECT_EQ(run.Text().find(kSecret), std::string::npos) << run.Text();
    EXPECT_TRUE(FilesBelow(tmp()).empty()) << FilesBelow(tmp()).front();
    for (const auto& name : fs::exists(out()) ? FilesBelow(out()) : std::vector<std::string>{}) {
      EXPECT_EQ(ReadFile(out() / name).find(kSecret), std::string::npos) << name;
    }
  }

  fs::path out() const { return temp_.Path() / "out"; }
  fs::path tmp() const { return temp_.Path() / "tmp"; }

  struct Folder {
    fs::path Path() const { return dir.path(); }
    TempDir dir;
  } temp_;
  std::mutex lock_;
  std::vector<std::string> requests_;
  LoopbackServer site_{"127.0.0.2"};
  LoopbackServer other_{"127.0.0.3"};
};

// A cookie file as curl and the site extractor write it.
std::string CookieFileText() {
  return "# Netscape HTTP Cookie File\n"
         "#HttpOnly_127.0.0.2\tFALSE\t/\tFALSE\t0\tsession\t" +
         kSecret +
         "\n"
         "127.0.0.2\tFALSE\t/\tTRUE\t0\tsecure\t" +
         kSecureSecret +
         "\n"
         ".other.example\tTRUE\t/\tFALSE\t0\tforeign\tvalue\n";
}

TEST_F(TarnfetchCookies, WithoutTheCookieTheSiteRefuses) {
  const RunResult run = Fetch({});
  ExpectFailure(run, out());
  EXPECT_NE(run.Text().find("403"), std::string::npos) << run.Text();
}

TEST_F(TarnfetchCookies, CookieFile) {
  WriteFile(temp_.Path() / "cookies.txt", CookieFileText());
  ExpectSignedInDownload(Fetch({"--cookies", (temp_.Path() / "cookies.txt").string()}));
}

TEST_F(TarnfetchCookies, UnreadableChoicesAreRefusedWithoutAValue) {
  WriteFile(temp_.Path() / "empty.txt", "# nothing\n");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--cookies", (temp_.Path() / "empty.txt").string()},
        {"--cookies-from-browser", "netscape"},
        {"--cookies-from-browser", "chromium:" + (temp_.Path() / "none").string()}}) {
    const RunResult run = Fetch(args);
    ExpectFailure(run, out());
    EXPECT_TRUE(Requests().empty()) << args[1];
  }
}

TEST_F(TarnfetchCookies, FirefoxProfileByFolderAndByDefault) {
  const fs::path root = temp_.Path() / "home" / ".mozilla" / "firefox";
  WriteFirefoxProfile(root, {{"127.0.0.2", "session", kSecret, false, true},
                             {"127.0.0.2", "secure", kSecureSecret, true, false}});
  const auto before = fs::last_write_time(root / "abcd.default-esr" / "cookies.sqlite");
  ExpectSignedInDownload(
      Fetch({"--cookies-from-browser", "firefox:" + (root / "abcd.default-esr").string()}));
  fs::remove(out() / "Members only.mp4");
  ScopedEnv home("HOME", (temp_.Path() / "home").string());
  ExpectSignedInDownload(Fetch({"--cookies-from-browser", "firefox"}));
  // The browser's store is only read.
  EXPECT_EQ(fs::last_write_time(root / "abcd.default-esr" / "cookies.sqlite"), before);
  EXPECT_FALSE(fs::exists(root / "abcd.default-esr" / "cookies.sqlite-shm"));
}

// Debian's chromium, headless with its built-in key, visits the login page
// and is closed through its debugging pipe, which writes its cookies out.
bool ChromiumSignsIn(const fs::path& userData, const std::string& loginUrl) {
  int toBrowser[2], fromBrowser[2];
  if (pipe(toBrowser) != 0 || pipe(fromBrowser) != 0) return false;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(toBrowser[0], 3);
    dup2(fromBrowser[1], 4);
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    dup2(devnull, 2);
    const std::string dataArg = "--user-data-dir=" + userData.string();
    execl("/usr/bin/chromium", "chromium", "--headless=new", "--no-sandbox",
          "--password-store=basic", "--disable-gpu", "--no-first-run", "--remote-debugging-pipe",
          dataArg.c_str(), loginUrl.c_str(), nullptr);
    _exit(127);
  }
  close(toBrowser[0]);
  close(fromBrowser[1]);
  std::this_thread::sleep_for(std::chrono::seconds(5));  // starts and loads the page
  static constexpr char kClose[] = "{\"id\":1,\"method\":\"Browser.close\"}";
  const bool sent = write(toBrowser[1], kClose, sizeof kClose) == sizeof kClose;  // with its NUL
  int status = 0;
  waitpid(pid, &status, 0);
  close(toBrowser[1]);
  close(fromBrowser[0]);
  return sent && fs::exists(userData / "Default");
}

TEST_F(TarnfetchCookies, ChromiumProfileMadeByTheRealBrowser) {
  if (!fs::exists("/usr/bin/chromium")) GTEST_SKIP() << "Debian's chromium is not installed";
  const fs::path config = temp_.Path() / "config";
  ASSERT_TRUE(ChromiumSignsIn(config / "chromium", site_.Url("/login")));
  ExpectSignedInDownload(
      Fetch({"--cookies-from-browser", "chromium:" + (config / "chromium" / "Default").string()}));
  fs::remove(out() / "Members only.mp4");
  ScopedEnv configHome("XDG_CONFIG_HOME", config.string());
  ExpectSignedInDownload(Fetch({"--cookies-from-browser", "chromium"}));
}

// The site extractor gets the page's site's cookies alone, in a file only
// the user can read, which is gone once it has answered.
TEST_F(TarnfetchCookies, SiteExtractorGetsOnlyTheSitesCookies) {
  const fs::path seen = temp_.Path() / "seen";
  StandInPrograms programs;
  programs.Script(
      "yt-dlp",
      "[ \"$1\" = --version ] && { echo 2099.01.01; exit 0; }\n"
      "while [ $# -gt 0 ]; do\n"
      "  if [ \"$1\" = --cookies ]; then f=$2; fi; shift\ndone\n"
      "{ echo \"$f\"; stat -c %a \"$f\" \"$(dirname \"$f\")\"; "
      "grep -v '^# ' \"$f\" | cut -f1,6; } > '" +
          seen.string() +
          "'\n"
          "echo 'ERROR: [generic] This video is private. Sign in to view it' >&2; exit 1");
  WriteFile(temp_.Path() / "cookies.txt", CookieFileText());
  const RunResult run =
      Fetch({"--cookies", (temp_.Path() / "cookies.txt").string()}, "/nothing.html");
  ExpectFailure(run, out());
  EXPECT_NE(run.Text().find("Sign in to view it"), std::string::npos)
      << run.Text() << ReadFile(seen);
  std::istringstream lines(ReadFile(seen));
  std::string file, fileMode, folderMode, rest;
  std::getline(lines, file);
  std::getline(lines, fileMode);
  std::getline(lines, folderMode);
  std::getline(lines, rest, '\0');
  EXPECT_EQ(fileMode, "600");
  EXPECT_EQ(folderMode, "700");
  EXPECT_EQ(rest, "#HttpOnly_127.0.0.2\tsession\n127.0.0.2\tsecure\n");
  EXPECT_FALSE(fs::exists(file)) << file;
  ExpectNoTrace(run);
}

}  // namespace
}  // namespace tarnfetch_test
