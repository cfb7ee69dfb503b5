#include "extractor/ExtractorFallback.h"

#include <chrono>
#include <optional>

#include "core/FetchError.h"
#include "extractor/DailyCheck.h"
#include "extractor/ExtractedPlan.h"
#include "extractor/ExtractorAnswer.h"
#include "extractor/ExtractorChoice.h"
#include "extractor/ExtractorUpdate.h"
#include "extractor/ExtractorVersion.h"
#include "extractor/SiteExtractor.h"
#include "report/Console.h"
#include "shared/ProgramVocabulary.h"

namespace tarnfetch {
namespace {

// Sites change their pages every few weeks; an extractor released this
// long ago has likely missed some of those changes.
constexpr int kOutdatedDays = 90;

std::string WhatTarnfetchDoes(const ExtractorHome& home) {
  if (!home.UpdatesOn()) {
    return "fetching a current one is turned off (" +
           std::string(quillmarsh::IniKeys::UpdateSiteExtractor) + "=0 in " +
           std::string(quillmarsh::kSettingsFileName) + ").";
  }
  return "tarnfetch fetches a current one of its own once a day.";
}

// Says so when the extractor is older than kOutdatedDays.
std::string OutdatedNote(ExtractorProgram& program, const ExtractorHome& home) {
  const std::chrono::sys_days today =
      std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
  const std::optional<int> age = VersionAge(program.Version(), today);
  if (!age || *age <= kOutdatedDays) return {};
  return " The site extractor (yt-dlp " + program.Version() + ") is " + std::to_string(*age) +
         " days old and may not know this site's current pages; " + WhatTarnfetchDoes(home);
}

// The extractor found no video. When it says it does not know the site or
// could not read its page, a newer release may: one is fetched at once (at
// most once an hour) and asked once more.
ExtractorAnswer AfterRefusal(const ExtractorHome& home, ExtractorProgram& program,
                             const ExtractorRefusal& refusal, const std::string& pageUrl,
                             const std::string& pageProblem, const FetchOptions& options) {
  std::string note;
  if (refusal.SiteChanged() && home.UpdatesOn() &&
      home.TakeTurn("checked-on-failure", std::chrono::hours(1))) {
    // The download waits for this update: a short one.
    ReportedUpdate update =
        UpdateAndReport(home, program.Describe(), options, home.waitingUpdateLimit);
    const UpdateOutcome& outcome = update.outcome;
    std::optional<ExtractorProgram>& current = update.used;
    if (outcome.result == UpdateOutcome::Result::Installed && current) {
      try {
        return AskSiteExtractor(current->command, pageUrl, options);
      } catch (const FetchError& again) {
        throw FetchError(pageProblem + ". " + again.what() + OutdatedNote(*current, home));
      }
    }
    if (outcome.result == UpdateOutcome::Result::Failed) {
      note = " A current site extractor could not be fetched (" + outcome.failure +
             "); tarnfetch tries again in an hour.";
    }
  } else {
    StartDailyCheck(home, options);
  }
  throw FetchError(pageProblem + ". " + refusal.what() + note + OutdatedNote(program, home));
}

}  // namespace

MediaPlan PlanWithSiteExtractor(const std::string& pageUrl, const std::string& pageProblem,
                                const FetchOptions& options) {
  const ExtractorHome home = ExtractorHome::Find();
  std::optional<ExtractorProgram> program = ChooseExtractor(home);
  if (!program) {
    StartDailyCheck(home, options);
    throw FetchError(pageProblem +
                     ". Installing yt-dlp (the site extractor) lets tarnfetch fetch the videos of "
                     "sites like this one." +
                     (home.UpdatesOn() ? " With python3 and gpgv installed, tarnfetch fetches a "
                                         "current one of its own once a day."
                                       : ""));
  }
  ExtractorAnswer answer;
  try {
    answer = AskSiteExtractor(program->command, pageUrl, options);
  } catch (const ExtractorRefusal& refusal) {
    answer = AfterRefusal(home, *program, refusal, pageUrl, pageProblem, options);
  } catch (const FetchError& failure) {
    StartDailyCheck(home, options);
    throw FetchError(pageProblem + ". " + failure.what());
  }
  StartDailyCheck(home, options);
  // A list of one video is that video: the extractor is asked for it.
  if (answer.list && answer.list->videos.size() == 1 && answer.list->skipped == 0) {
    try {
      answer = AskSiteExtractor(program->command, answer.list->videos.front().url, options);
    } catch (const FetchError& failure) {
      throw FetchError(pageProblem + ". " + failure.what());
    }
  }
  return PlanOf(answer);
}

}  // namespace tarnfetch
