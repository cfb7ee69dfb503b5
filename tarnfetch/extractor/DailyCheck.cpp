#include "extractor/DailyCheck.h"

#include "core/ChildProgram.h"
#include "shared/AtomicFile.h"
#include "shared/FindProgram.h"
#include "shared/ProgramVocabulary.h"

namespace tarnfetch {

std::vector<std::string> RunDailyCheck(const ExtractorHome& home, const FetchOptions& options,
                                       bool& failed) {
  failed = false;
  if (!home.UpdatesOn()) {
    return {"Site extractor updates are turned off (" +
            std::string(quillmarsh::IniKeys::UpdateSiteExtractor) + "=0)"};
  }
  if (!home.MakeFolder()) {
    failed = true;
    return {"Site extractor update failed: there is no folder to keep it in"};
  }
  if (!home.TakeTurn("checked-daily", std::chrono::hours(24))) {
    return {"Site extractor was checked less than a day ago"};
  }
  std::optional<ExtractorProgram> before = ChooseExtractor(home);
  ReportedUpdate update =
      UpdateAndReport(home, before ? before->Describe() : "", options, home.updateLimit);
  failed = update.outcome.result == UpdateOutcome::Result::Failed;
  return std::move(update.lines);
}

void StartDailyCheck(const ExtractorHome& home, const FetchOptions& options) {
  if (!home.IsDue("checked-daily", std::chrono::hours(24)) || !home.UpdatesOn()) return;
  const std::string self = quillmarsh::OwnProgramPath();
  if (self.empty()) return;
  std::vector<std::string> args{self, "--update-extractor"};
  if (!options.proxy.empty()) args.insert(args.end(), {"--proxy", options.proxy});
  StartDetached(args);
}

ReportedUpdate UpdateAndReport(const ExtractorHome& home, const std::string& found,
                               const FetchOptions& options, std::chrono::seconds limit) {
  ReportedUpdate update{UpdateExtractor(home, options, limit), ChooseExtractor(home), {}};
  update.lines = DescribeUpdate(update.outcome, found);
  if (update.used) update.lines.push_back("Site extractor used: " + update.used->Describe());
  std::string report;
  for (const std::string& line : update.lines) report += line + '\n';
  // Only a help for the debug report: a report that cannot be written is left.
  (void)quillmarsh::WriteFileAtomically(home.ReportFile(), report, quillmarsh::Links::Refuse);
  return update;
}

}  // namespace tarnfetch
