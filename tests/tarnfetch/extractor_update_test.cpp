// tarnfetch's own copy of the site extractor: fetched from a loopback
// release whose checksums a key made here signs, checked, installed, used,
// and refused when anything about it is wrong.
#include <openssl/evp.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

#include "support/TarnfetchTest.h"

namespace tarnfetch_test {
namespace {

const std::string kClip = RandomBytes(20 << 10, 3);
const std::string kSystemPath = "/usr/bin:/bin";

std::string Sha256Hex(const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(data.data(), data.size(), digest, &size, EVP_sha256(), nullptr);
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex += "0123456789abcdef"[digest[i] >> 4];
    hex += "0123456789abcdef"[digest[i] & 15];
  }
  return hex;
}

// The release key, made once, in a GnuPG home of its own.
struct ReleaseKey {
  TempDir home;
  std::string armored = home.file("release-key.asc");
};
ReleaseKey* key = nullptr;

class TarnfetchExtractorUpdate : public TarnfetchTest {
 protected:
  static void SetUpTestSuite() {
    key = new ReleaseKey;
    ASSERT_EQ(RunProgram({"/usr/bin/gpg", "--homedir", key->home.path(), "--batch", "--passphrase",
                          "", "--quick-gen-key", "Test Release <release@example.org>"})
                  .exitCode,
              0);
    ASSERT_EQ(RunProgram({"/usr/bin/gpg", "--homedir", key->home.path(), "--armor", "--output",
                          key->armored, "--export"})
                  .exitCode,
              0);
  }
  static void TearDownTestSuite() {
    delete key;
    key = nullptr;
  }

  void SetUp() override {
    Routes().Get(R"(/release/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
      std::this_thread::sleep_for(std::chrono::milliseconds(releaseDelayMs_.load()));
      std::lock_guard lock(mutex_);
      const auto file = files_.find(req.matches[1]);
      if (file == files_.end()) return void(res.status = 404);
      res.set_content(file->second, "application/octet-stream");
    });
    Routes().Get("/clip.mp4", [this](const httplib::Request&, httplib::Response& res) {
      std::this_thread::sleep_for(std::chrono::milliseconds(clipDelayMs_.load()));
      res.set_content(kClip, "video/mp4");
    });
    for (const char* page : {"/page.html", "/unknown.html"}) {
      Serve(page, "<html><title>No player</title></html>");
    }
    releaseUrl_.emplace("TARNFETCH_TEST_RELEASE_URL", Url("/release/"));
  }

  // A stand-in release, a Python script: it says `version`, notes its
  // arguments, and for a page answers with the clip, or, when `knows` is
  // false or the page is /unknown.html, that the site is unsupported.
  std::string Release(const std::string& version, bool knows = true) {
    std::string script = R"(import sys
if '--version' in sys.argv:
    print('VERSION')
    sys.exit(0)
open('ARGS', 'w').write('\n'.join(sys.argv[1:]) + '\n')
if KNOWS:
    print('ERROR: [generic] Unsupported URL: ' + sys.argv[-1], file=sys.stderr)
    sys.exit(1)
print('{"title": "Clip VERSION", "url": "CLIP", "ext": "mp4"}')
)";
    for (const auto& [name, value] :
         {std::pair{"VERSION", version}, std::pair{"ARGS", (temp() / "args").string()},
          std::pair{"KNOWS", std::string(knows ? "'/unknown.html' in sys.argv[-1]" : "True")},
          std::pair{"CLIP", Url("/clip.mp4")}}) {
      for (std::size_t at; (at = script.find(name)) != std::string::npos;) {
        script.replace(at, std::strlen(name), value);
      }
    }
    return script;
  }
  // Serves `program` with checksums (of `listed`, when given) signed by the
  // release key.
  void Publish(const std::string& program, const std::string& listed = {}) {
    const std::string sums = Sha256Hex(listed.empty() ? program : listed) + "  yt-dlp\n" +
                             Sha256Hex("other") + "  yt-dlp.exe\n";
    const fs::path sumsFile = temp() / "SHA2-256SUMS";
    const fs::path signature = temp() / "SHA2-256SUMS.sig";
    WriteFile(sumsFile, sums);
    ASSERT_EQ(RunProgram({"/usr/bin/gpg", "--homedir", key->home.path(), "--batch", "--yes",
                          "--detach-sign", "--output", signature.string(), sumsFile.string()})
                  .exitCode,
              0);
    std::lock_guard lock(mutex_);
    files_ = {
        {"yt-dlp", program}, {"SHA2-256SUMS", sums}, {"SHA2-256SUMS.sig", ReadFile(signature)}};
  }
  void Spoil(const std::string& name, const std::function<void(std::string&)>& change) {
    std::lock_guard lock(mutex_);
    change(files_[name]);
  }
  long Requests(const std::string& name) { return Count("/release/" + name); }
  // A system extractor on PATH: a shell script that says `version` and
  // knows no site.
  void SystemExtractor(const std::string& version) {
    programs_->Script("yt-dlp", "if [ \"$1\" = --version ]; then echo " + version +
                                    "; exit 0; fi\necho 'ERROR: [generic] Unsupported URL: x' "
                                    ">&2\nexit 1");
  }
  void TurnUpdatesOff() {
    fs::create_directories(folder().parent_path());
    WriteFile(folder().parent_path() / "qlmsh.ini", "[Config]\r\nUpdateSiteExtractor=0\r\n");
  }

  RunResult Update() { return RunTarnfetch({"--update-extractor"}); }

  fs::path folder() const { return temp() / "data" / "Quillmarsh" / "site-extractor"; }
  std::string Installed() const { return ReadFile(folder() / "yt-dlp"); }

  std::mutex mutex_;
  std::map<std::string, std::string> files_;
  std::atomic<int> clipDelayMs_{0}, releaseDelayMs_{0};
  ScopedEnv dataHome_{"XDG_DATA_HOME", temp() / "data"};
  ScopedEnv releaseKey_{"TARNFETCH_TEST_RELEASE_KEY", key->armored};
  std::optional<ScopedEnv> releaseUrl_;
  // python3 and gpgv are in the system's folders.
  std::optional<StandInPrograms> programs_{kSystemPath};
};

TEST_F(TarnfetchExtractorUpdate, AGoodReleaseIsInstalledOnceADayAndUsed) {
  Publish(Release("2026.11.01"));
  const RunResult first = Update();
  ASSERT_EQ(first.exitCode, 0) << first.Text();
  EXPECT_TRUE(first.Has("Site extractor found: yt-dlp 2023.03.04 (/usr/bin/yt-dlp)"))
      << first.Text();
  EXPECT_TRUE(first.Has("Site extractor fetched: yt-dlp 2026.11.01")) << first.Text();
  EXPECT_EQ(Installed(), Release("2026.11.01"));
  EXPECT_EQ(ReadFile(folder() / "report.txt"), first.Text());

  const RunResult again = Update();
  EXPECT_TRUE(again.Has("less than a day ago")) << again.Text();
  EXPECT_EQ(Requests("SHA2-256SUMS"), 1);
  // The private copy comes before the system's, which knows no page here.
  const RunResult run = Fetch("/page.html");
  ASSERT_EQ(run.exitCode, 0) << run.Text();
  EXPECT_TRUE(ReadFile(out() / "Clip 2026.11.01.mp4") == kClip);
}

TEST_F(TarnfetchExtractorUpdate, ABadReleaseIsRefusedAndThePreviousCopyKeptAndUsed) {
  Publish(Release("2026.11.01"));
  ASSERT_EQ(Update().exitCode, 0);
  const std::string next = Release("2026.12.01");
  struct Case {
    const char* name;
    std::function<void()> publish;
    const char* words;
  };
  const std::vector<Case> cases{
      {"a bad signature",
       [&] {
         Publish(next);
         Spoil("SHA2-256SUMS", [](std::string& sums) { sums += "0  yt-dlp_linux\n"; });
       },
       "the signature of the release's checksums does not verify"},
      {"a wrong checksum", [&] { Publish(next, "another program"); },
       "does not match its signed checksum"},
      {"a release that does not start", [&] { Publish("import sys\nsys.exit(3)\n"); },
       "does not start"},
      {"an older release, validly signed", [&] { Publish(Release("2026.10.31")); },
       "(2026.10.31) is older than the one in place (2026.11.01)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.publish();
    fs::remove(folder() / "checked-daily");
    const RunResult run = Update();
    EXPECT_EQ(run.exitCode, 1) << run.Text();
    EXPECT_TRUE(run.Has("Site extractor update failed: ") && run.Has(c.words)) << run.Text();
    EXPECT_TRUE(run.Has("Site extractor used: yt-dlp 2026.11.01")) << run.Text();
    EXPECT_EQ(Installed(), Release("2026.11.01"));
    EXPECT_FALSE(fs::exists(folder() / "yt-dlp.new"));
    fs::remove_all(out());
    const RunResult used = Fetch("/page.html");
    EXPECT_EQ(used.exitCode, 0) << used.Text();
    EXPECT_TRUE(fs::exists(out() / "Clip 2026.11.01.mp4"));
  }
}

// A release server that hardly answers: the update on its own and the one a
// download waits for both give up at their limit (here 2 s).
TEST_F(TarnfetchExtractorUpdate, ASlowReleaseServerIsGivenUpAtTheLimit) {
  Publish(Release("2026.11.01", false));
  ASSERT_EQ(Update().exitCode, 0);
  fs::remove(folder() / "checked-daily");
  const quillmarsh::ScopedEnv limit("TARNFETCH_TEST_UPDATE_LIMIT", "2");
  releaseDelayMs_ = 6000;
  for (const bool waiting : {false, true}) {
    SCOPED_TRACE(waiting ? "a waiting download" : "the daily check");
    const auto start = std::chrono::steady_clock::now();
    const RunResult run = waiting ? Fetch("/page.html") : Update();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(run.exitCode, 1) << run.Text();
    EXPECT_TRUE(run.Has("it did not end within 2 seconds")) << run.Text();
  }
  EXPECT_EQ(Installed(), Release("2026.11.01", false));
}

// Links and a FIFO planted in its folder: none is followed or waited on,
// and the file the links point to stays as it was.
TEST_F(TarnfetchExtractorUpdate, PlantedLinksAndFifosAreNeitherFollowedNorWaitedOn) {
  Publish(Release("2026.11.01"));
  const fs::path outside = temp() / "outside";
  WriteFile(outside, "mine");
  fs::create_directories(folder());
  for (const char* own : {"SHA2-256SUMS", "lock", "yt-dlp.version", "report.txt", "checked-daily"})
    fs::create_symlink(outside, folder() / own);
  ASSERT_EQ(mkfifo((folder() / "yt-dlp").c_str(), 0600), 0);
  const RunResult run = Update();
  EXPECT_EQ(run.exitCode, 0) << run.Text();
  EXPECT_EQ(ReadFile(outside), "mine");
  EXPECT_EQ(Installed(), Release("2026.11.01"));
  EXPECT_EQ(ReadFile(folder() / "yt-dlp.version"), "2026.11.01");
}

// With Debian's nodejs, a release that knows the option may run the sites'
// JavaScript with it.
TEST_F(TarnfetchExtractorUpdate, AReleaseThatKnowsItRunsTheSitesJavaScriptWithNode) {
  if (!fs::exists("/usr/bin/node")) GTEST_SKIP() << "nodejs is not installed";
  for (const auto& [version, given] :
       {std::pair{"2025.11.11", false}, std::pair{"2025.11.12", true}}) {
    SCOPED_TRACE(version);
    Publish(Release(version));
    fs::remove(folder() / "checked-daily");
    ASSERT_EQ(Update().exitCode, 0);
    ASSERT_EQ(Fetch("/page.html").exitCode, 0);
    const std::string args = ReadFile(temp() / "args");
    EXPECT_EQ(args.find("--js-runtimes\nnode\n") != std::string::npos, given) << args;
  }
}

// A site the extractor does not know: a current release is fetched at once
// and asked once more; not again within the hour.
TEST_F(TarnfetchExtractorUpdate, AnUnsupportedSiteFetchesACurrentReleaseAtOnce) {
  Publish(Release("2026.11.01", false));
  ASSERT_EQ(Update().exitCode, 0);
  Publish(Release("2026.12.01"));
  const RunResult run = Fetch("/page.html");
  ASSERT_EQ(run.exitCode, 0) << run.Text();
  EXPECT_TRUE(fs::exists(out() / "Clip 2026.12.01.mp4"));
  EXPECT_EQ(Installed(), Release("2026.12.01"));
  EXPECT_EQ(Requests("yt-dlp"), 2);

  fs::remove_all(out());
  const RunResult unknown = Fetch("/unknown.html");
  ExpectFailure(unknown, out());
  EXPECT_TRUE(unknown.Has("Unsupported URL")) << unknown.Text();
  EXPECT_EQ(Requests("SHA2-256SUMS"), 2) << "not again within the hour";
}

// Why the extractor failed, in the user's words: missing, outdated, not
// updated, and what tarnfetch does about it; with UpdateSiteExtractor=0
// nothing is fetched.
TEST_F(TarnfetchExtractorUpdate, TheErrorSaysWhyTheExtractorFailedAndWhatHappensNext) {
  struct Case {
    const char* name;
    const char* systemVersion;  // none: no extractor at all
    bool updatesOff;
    std::vector<std::string> words, absent;
  };
  const std::vector<Case> cases{
      {"outdated, and the update fails",
       "2020.01.01",
       false,
       {"Unsupported URL: x", "A current site extractor could not be fetched (the signature",
        "tries again in an hour", "(yt-dlp 2020.01.01) is ", "days old",
        "fetches a current one of its own once a day"},
       {}},
      {"outdated, with updates off",
       "2020.01.01",
       true,
       {"Unsupported URL: x", "days old", "turned off (UpdateSiteExtractor=0 in qlmsh.ini)"},
       {"could not be fetched"}},
      {"recent", "2099.01.01", true, {"Unsupported URL: x"}, {"days old"}},
      {"missing", nullptr, false, {"Installing yt-dlp", "fetches a current one of its own"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(temp() / "data");
    ForgetRequests();
    // Without an extractor, PATH holds none either.
    programs_.reset();
    programs_.emplace(c.systemVersion ? kSystemPath : "/nonexistent");
    Publish(Release("2026.12.01"));
    Spoil("SHA2-256SUMS.sig", [](std::string& signature) { signature.clear(); });
    if (c.updatesOff) TurnUpdatesOff();
    if (c.systemVersion) SystemExtractor(c.systemVersion);
    const RunResult run = Fetch("/page.html");
    ExpectFailure(run, out());
    for (const std::string& words : c.words) EXPECT_TRUE(run.Has(words)) << words << run.Text();
    for (const std::string& words : c.absent) EXPECT_FALSE(run.Has(words)) << words << run.Text();
    if (c.updatesOff) {
      EXPECT_TRUE(Update().Has("turned off (UpdateSiteExtractor=0)"));
      EXPECT_EQ(Requests("SHA2-256SUMS"), 0) << "nothing fetched";
    }
  }
}

// After a run that needed the extractor, the daily check runs on its own.
TEST_F(TarnfetchExtractorUpdate, ARunThatAskedTheExtractorStartsTheDailyCheck) {
  Publish(Release("2026.12.01"));
  programs_->Script("yt-dlp",
                    "echo '{\"title\": \"System\", \"url\": \"" + Url("/clip.mp4") + "\"}'");
  // A slow clip and a slower release: the check is under way before the run
  // that started it ends, and must outlive it.
  clipDelayMs_ = 500;
  releaseDelayMs_ = 700;
  const RunResult run = Fetch("/page.html");
  ASSERT_EQ(run.exitCode, 0) << run.Text();
  for (int i = 0; i < 1500 && !fs::exists(folder() / "report.txt"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the report's lines
  EXPECT_EQ(Installed(), Release("2026.12.01")) << ReadFile(folder() / "report.txt");
}

}  // namespace
}  // namespace tarnfetch_test
