#include "extractor/ExtractorVersion.h"

#include "core/ChildProgram.h"
#include "core/FetchError.h"
#include "extractor/SiteExtractor.h"
#include "shared/Numbers.h"

namespace tarnfetch {
namespace {

std::optional<int> Number(std::string_view text, std::size_t digits) {
  if (text.size() != digits || text.starts_with('-')) return std::nullopt;
  return quillmarsh::ReadWholeNumber<int>(text);
}

}  // namespace

std::optional<std::chrono::sys_days> VersionDate(std::string_view version) {
  // "YYYY.MM.DD", then nothing or "." and more.
  if (version.size() < 10 || version[4] != '.' || version[7] != '.' ||
      (version.size() > 10 && version[10] != '.')) {
    return std::nullopt;
  }
  const auto year = Number(version.substr(0, 4), 4);
  const auto month = Number(version.substr(5, 2), 2);
  const auto day = Number(version.substr(8, 2), 2);
  if (!year || !month || !day) return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(*year),
                                         std::chrono::month(static_cast<unsigned>(*month)),
                                         std::chrono::day(static_cast<unsigned>(*day))};
  if (!date.ok()) return std::nullopt;
  return std::chrono::sys_days(date);
}

std::optional<int> VersionAge(std::string_view version, std::chrono::sys_days today) {
  const auto date = VersionDate(version);
  if (!date) return std::nullopt;
  return static_cast<int>((today - *date).count());
}

bool KnowsJsRuntimes(std::string_view version) {
  const auto date = VersionDate(version);
  return date && *date >= *VersionDate(kJsRuntimesSince);
}

std::string AskExtractorVersion(const std::vector<std::string>& command) {
  ChildRun run;
  run.args = command;
  run.args.push_back("--version");
  run.keepOutput = 256;
  run.keepErrors = 0;
  run.timeLimit = std::chrono::seconds(30);
  run.addressSpaceBytes = SiteExtractor::kAddressSpaceBytes;
  run.role = "the site extractor";
  ChildResult result;
  try {
    result = RunChild(run);
  } catch (const FetchError&) {
    return {};
  }
  if (!result.Succeeded()) return {};
  std::string line = result.output.substr(0, result.output.find('\n'));
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return VersionDate(line) ? line : std::string();
}

}  // namespace tarnfetch
