#include "missions/SignInSettings.h"

#include <algorithm>
#include <regex>

#include "shared/IniFile.h"
#include "shared/ProgramVocabulary.h"
#include "shared/SiteName.h"

namespace quillmarsh {
namespace {

// More answers than anyone gives; a damaged count reads no further.
constexpr int kMaxSites = 1000;

std::string SiteKey(int n) {
  return std::string(IniKeys::SignInSite) + std::to_string(n);
}

}  // namespace

SignInChoice ReadSignInChoice(const IniFile& ini) {
  const std::string from = ini.ReadString(IniKeys::Config, IniKeys::SignInFrom, "ask");
  SignInChoice choice;
  if (from == "none") {
    choice.mode = SignInChoice::Mode::None;
  } else if (from == "file") {
    choice.mode = SignInChoice::Mode::CookieFile;
    choice.cookieFile = ini.ReadString(IniKeys::Config, IniKeys::CookieFile, "");
  } else if (!from.empty() && from != "ask") {
    choice.mode = SignInChoice::Mode::Browser;
    choice.browser = from;
  }
  return choice;
}

void WriteSignInChoice(IniFile& ini, const SignInChoice& choice) {
  IniFile::Batch batch(ini);
  using Mode = SignInChoice::Mode;
  const std::string from = choice.mode == Mode::None         ? "none"
                           : choice.mode == Mode::CookieFile ? "file"
                           : choice.mode == Mode::Browser    ? choice.browser
                                                             : "ask";
  ini.WriteString(IniKeys::Config, IniKeys::SignInFrom, from);
  ini.WriteString(IniKeys::Config, IniKeys::CookieFile, choice.cookieFile);
  batch.commit();
}

SiteAnswers ReadSiteAnswers(const IniFile& ini) {
  SiteAnswers answers;
  const int count =
      std::clamp(ini.ReadInteger(IniKeys::SignInSection, IniKeys::SignInCount, 0), 0, kMaxSites);
  for (int n = 1; n <= count; ++n) {
    const std::string entry = ini.ReadString(IniKeys::SignInSection, SiteKey(n), "");
    const std::size_t blank = entry.find(' ');
    if (blank == 0 || blank == std::string::npos || blank + 1 == entry.size()) continue;
    answers.emplace_back(entry.substr(0, blank), entry.substr(blank + 1));
  }
  return answers;
}

void WriteSiteAnswers(IniFile& ini, const SiteAnswers& answers) {
  IniFile::Batch batch(ini);
  ini.EraseSection(IniKeys::SignInSection);
  ini.WriteInteger(IniKeys::SignInSection, IniKeys::SignInCount, static_cast<int>(answers.size()));
  for (std::size_t i = 0; i < answers.size(); ++i) {
    ini.WriteString(IniKeys::SignInSection, SiteKey(static_cast<int>(i) + 1),
                    answers[i].first + " " + answers[i].second);
  }
  batch.commit();
}

std::optional<std::string> AnswerFor(const IniFile& ini, const std::string& site) {
  for (const auto& [known, answer] : ReadSiteAnswers(ini)) {
    if (known == site) return answer;
  }
  return std::nullopt;
}

void RememberAnswer(IniFile& ini, const std::string& site, const std::string& answer) {
  SiteAnswers answers = ReadSiteAnswers(ini);
  std::erase_if(answers, [&](const auto& entry) { return entry.first == site; });
  if (!answer.empty()) answers.emplace_back(site, answer);
  WriteSiteAnswers(ini, answers);
}

std::vector<std::string> SignInArguments(const IniFile& ini, const std::string& url) {
  std::vector<std::string> options;
  const SignInChoice choice = ReadSignInChoice(ini);
  using Mode = SignInChoice::Mode;
  if (choice.mode == Mode::CookieFile && !choice.cookieFile.empty()) {
    options = {"--cookies", choice.cookieFile};
  } else if (choice.mode == Mode::Browser) {
    options = {"--cookies-from-browser", choice.browser};
  } else if (choice.mode == Mode::AskEachSite) {
    const auto answer = AnswerFor(ini, SiteOfHost(HostOfUrl(url)));
    if (answer && *answer != kAnsweredNo) options = {"--cookies-from-browser", *answer};
  }
  return options;
}

bool SignInCouldMend(const std::string& reason) {
  static const std::regex kSignIn(
      R"(\b(401|403)\b|sign[ -]?in|log[ -]?in|not a (ro)?bot|\bprivate\b|\bage\b|age[- ]restrict|)"
      R"(\bmembers?\b|members-only|cookies?\b)",
      std::regex::icase);
  return std::regex_search(reason, kSignIn);
}

}  // namespace quillmarsh
