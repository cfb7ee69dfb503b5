#pragma once
// Whose sign-in on sites (the browser's cookies) downloads use, and what
// each site's answer was: kept in the settings file, read afresh each time
// a download starts. Plain C++ over the settings file.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillmarsh {

class IniFile;

struct SignInChoice {
  enum class Mode { AskEachSite, Browser, None, CookieFile };
  Mode mode = Mode::AskEachSite;
  std::string browser;     // Mode::Browser: its name ("firefox")
  std::string cookieFile;  // Mode::CookieFile
};

SignInChoice ReadSignInChoice(const IniFile& ini);
void WriteSignInChoice(IniFile& ini, const SignInChoice& choice);  // throws IniWriteError

// A site's remembered answer: a browser's name, or "no".
inline constexpr const char* kAnsweredNo = "no";
using SiteAnswers = std::vector<std::pair<std::string, std::string>>;  // site, answer
SiteAnswers ReadSiteAnswers(const IniFile& ini);
void WriteSiteAnswers(IniFile& ini, const SiteAnswers& answers);  // throws IniWriteError
std::optional<std::string> AnswerFor(const IniFile& ini, const std::string& site);
// Sets or replaces one site's answer; an empty answer forgets it.
void RememberAnswer(IniFile& ini, const std::string& site, const std::string& answer);

// What tarnfetch is told of the user's sign-in for the address: "--cookies
// FILE", "--cookies-from-browser NAME" (the chosen browser, or the one the
// site said yes to), or nothing.
std::vector<std::string> SignInArguments(const IniFile& ini, const std::string& url);

// Whether a failure's reason says a sign-in could mend it: the server
// answered 401 or 403, or the site asked to sign in, log in, prove the user
// is no bot, or said the video is private, age-restricted, for members or
// needs cookies.
bool SignInCouldMend(const std::string& reason);

}  // namespace quillmarsh
