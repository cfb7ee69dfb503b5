#pragma once
// Every status text a mission can show. Schedulers and the mission file
// compare against these exact texts, so they are defined here only.

#include <cstddef>
#include <string>
#include <string_view>

namespace quillmarsh {

namespace Status {
inline constexpr std::string_view WaitForDownload = "[Wait for download]";
inline constexpr std::string_view Downloading = "[Downloading]";
inline constexpr std::string_view Downloaded = "[Downloaded]";
inline constexpr std::string_view SkipFileExists = "[Skip] File Exists";
inline constexpr std::string_view ErrorInDownload = "[Error in download]";
inline constexpr std::string_view WaitForConvert = "[Wait for convert]";
inline constexpr std::string_view Converting = "[Converting]";
inline constexpr std::string_view Converted = "[Converted]";
inline constexpr std::string_view SkipFormatOk = "[Skip] format ok";
inline constexpr std::string_view ErrorInConvert = "[Error in convert]";
// The user paused the mission; no scheduler picks it up until it resumes.
inline constexpr std::string_view Paused = "[Paused]";

// The address was a list of videos, added as missions of their own: "[List]
// 3 videos". Final; no scheduler takes it.
inline constexpr std::string_view ListPrefix = "[List] ";
inline std::string ListOfVideos(std::size_t count) {
  return std::string(ListPrefix) + std::to_string(count) + (count == 1 ? " video" : " videos");
}
inline bool IsList(std::string_view status) {
  return status.substr(0, ListPrefix.size()) == ListPrefix;
}

// The two statuses of a mission whose work failed.
inline bool IsFailure(std::string_view status) {
  return status == ErrorInDownload || status == ErrorInConvert;
}

// "[Downloading] 45%" and "[Converting] 45%".
inline std::string DownloadingPercent(int percent) {
  return std::string(Downloading) + " " + std::to_string(percent) + "%";
}
inline std::string ConvertingPercent(int percent) {
  return std::string(Converting) + " " + std::to_string(percent) + "%";
}
}  // namespace Status

}  // namespace quillmarsh
