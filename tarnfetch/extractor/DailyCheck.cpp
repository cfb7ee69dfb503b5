#include "extractor/DailyCheck.h"

#include <unistd.h>

#include <climits>
#include <fstream>

#include "core/ChildProgram.h"
#include "extractor/ExtractorChoice.h"
#include "extractor/ExtractorUpdate.h"

namespace tarnfetch {

std::vector<std::string> RunDailyCheck(const ExtractorHome& home, bool& failed) {
  failed = false;
  if (!home.UpdatesOn()) {
    return {"Site extractor updates are turned off (UpdateSiteExtractor=0)"};
  }
  if (!home.MakeFolder()) {
    failed = true;
    return {"Site extractor update failed: there is no folder to keep it in"};
  }
  if (!home.TakeTurn("checked-daily", std::chrono::hours(24))) {
    return {"Site extractor was checked less than a day ago"};
  }
  std::optional<ExtractorProgram> before = ChooseExtractor(home);
  const UpdateOutcome outcome = UpdateExtractor(home);
  std::vector<std::string> lines = DescribeUpdate(outcome, before ? before->Describe() : "");
  if (std::optional<ExtractorProgram> used = ChooseExtractor(home)) {
    lines.push_back("Site extractor used: " + used->Describe());
  }
  failed = outcome.result == UpdateOutcome::Result::Failed;
  WriteUpdateReport(home, lines);
  return lines;
}

void StartDailyCheck(const ExtractorHome& home) {
  if (!home.IsDue("checked-daily", std::chrono::hours(24)) || !home.UpdatesOn()) return;
  char self[PATH_MAX];
  const ssize_t size = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (size <= 0) return;
  StartDetached({std::string(self, static_cast<std::size_t>(size)), "--update-extractor"});
}

void WriteUpdateReport(const ExtractorHome& home, const std::vector<std::string>& lines) {
  std::ofstream out(home.ReportFile(), std::ios::trunc);
  for (const std::string& line : lines) out << line << '\n';
}

}  // namespace tarnfetch
