// What the settings file's sign-in choice, the sites' answers and the speed
// limit tell tarnfetch, and which failures a sign-in could mend.
#include <gtest/gtest.h>

#include "missions/SignInSettings.h"
#include "shared/IniFile.h"
#include "support/TempDir.h"

namespace quillmarsh {
namespace {

TEST(SignInSettings, SignInArguments) {
  struct Case {
    const char* config;
    const char* url;
    std::vector<std::string> options;
  };
  const Case cases[] = {
      {"", "https://www.a.example/v", {"--cookies-from-browser", "firefox"}},
      {"", "https://cdn.b.example/v", {}},  // answered no
      {"", "https://c.example/v", {}},      // never asked
      {"SignInFrom=none\r\n", "https://a.example/v", {}},
      {"SignInFrom=chromium\r\n", "https://c.example/v", {"--cookies-from-browser", "chromium"}},
      {"SignInFrom=file\r\nCookieFile=/k/c.txt\r\n",
       "https://c.example/",
       {"--cookies", "/k/c.txt"}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteFile(dir.file("qlmsh.ini"), std::string("[Config]\r\n") + c.config +
                                         "[SignIn]\r\nCount=2\r\nSite1=a.example firefox\r\n"
                                         "Site2=b.example no\r\n");
    const IniFile ini(dir.file("qlmsh.ini"));
    EXPECT_EQ(SignInArguments(ini, c.url), c.options) << c.config << c.url;
  }
}

TEST(SignInSettings, AnswersAreRememberedReplacedAndForgotten) {
  TempDir dir;
  IniFile ini(dir.file("qlmsh.ini"));
  RememberAnswer(ini, "a.example", "firefox");
  RememberAnswer(ini, "b.example", kAnsweredNo);
  RememberAnswer(ini, "a.example", "chromium");
  RememberAnswer(ini, "b.example", "");
  EXPECT_EQ(ReadSiteAnswers(IniFile(dir.file("qlmsh.ini"))),
            (SiteAnswers{{"a.example", "chromium"}}));
}

TEST(SignInSettings, FailuresASignInCouldMend) {
  const std::pair<const char*, bool> cases[] = {
      {"The server answered HTTP 403 Forbidden: https://x/", true},
      {"The server answered HTTP 401 Unauthorized: https://x/", true},
      {"Sign in to confirm you're not a bot", true},
      {"This video is private", true},
      {"Sign in to confirm your age", true},
      {"Join this channel to get access to members-only content", true},
      {"Use --cookies-from-browser or --cookies for the authentication", true},
      {"Please log in", true},
      {"The server answered HTTP 404 Not Found: https://x/page", false},
      {"No video was found on the page https://x/. Usage: 4031 bytes", false},
  };
  for (const auto& [reason, mends] : cases) EXPECT_EQ(SignInCouldMend(reason), mends) << reason;
}

}  // namespace
}  // namespace quillmarsh
