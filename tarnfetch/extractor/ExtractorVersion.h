#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnfetch {

// yt-dlp's versions are release dates, "YYYY.MM.DD" (a nightly build adds
// ".HHMMSS"). The date, when the text is one.
std::optional<std::chrono::sys_days> VersionDate(std::string_view version);

// Days between the version's date and today; nullopt when it names none.
std::optional<int> VersionAge(std::string_view version, std::chrono::sys_days today);

// True when `version` is a release before `than` (by date, then by the
// nightly build's number); false when either is not a version.
bool VersionIsOlder(std::string_view version, std::string_view than);

// Releases from this date on take "--js-runtimes".
inline constexpr std::string_view kJsRuntimesSince = "2025.11.12";
bool KnowsJsRuntimes(std::string_view version);

// The version `command --version` prints (its first line, trimmed), or ""
// when it does not run within `limit` or answers something else than a
// version.
std::string AskExtractorVersion(const std::vector<std::string>& command,
                                std::chrono::milliseconds limit = std::chrono::seconds(30));

}  // namespace tarnfetch
