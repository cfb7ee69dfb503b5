#include "extractor/ExtractorHome.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "shared/DataFolder.h"
#include "shared/FindProgram.h"
#include "shared/IniFile.h"
#include "shared/Numbers.h"
#include "shared/ProgramVocabulary.h"
#include "shared/RegularFile.h"

namespace tarnfetch {

ExtractorHome ExtractorHome::Find() {
  ExtractorHome home;
  const std::string program = quillmarsh::OwnProgramFolder();
  home.dataFolder = quillmarsh::DataFolderFor(program);
  if (!home.dataFolder.empty()) {
    home.folder = home.dataFolder + "site-extractor/";
    namespace IniKeys = quillmarsh::IniKeys;
    home.updatesOn =
        quillmarsh::IniFile(home.dataFolder + std::string(quillmarsh::kSettingsFileName))
            .ReadBool(IniKeys::Config, IniKeys::UpdateSiteExtractor, true);
  }
  const char* url = std::getenv("TARNFETCH_TEST_RELEASE_URL");
  home.releaseBase = url != nullptr && url[0] != '\0' ? url : kReleaseUrl;
  if (home.releaseBase.back() != '/') home.releaseBase += '/';
  const char* key = std::getenv("TARNFETCH_TEST_RELEASE_KEY");
  home.releaseKey = key != nullptr && key[0] != '\0' ? key : program + "/yt-dlp-release-key.asc";
  const char* limit = std::getenv("TARNFETCH_TEST_UPDATE_LIMIT");
  if (const auto seconds = quillmarsh::ReadWholeNumber<int>(limit != nullptr ? limit : "");
      seconds && *seconds > 0) {
    home.updateLimit = home.waitingUpdateLimit = std::chrono::seconds(*seconds);
  }
  return home;
}

std::string ExtractorHome::InstalledVersion() const {
  constexpr std::size_t kMaxVersionBytes = 256;
  const std::string text =
      quillmarsh::ReadRegularFile(VersionFile(), kMaxVersionBytes, quillmarsh::Links::Refuse)
          .value_or("");
  return text.substr(0, text.find('\n'));
}

bool ExtractorHome::HasPrivateCopy() const {
  struct stat seen {};
  return !folder.empty() && ::lstat(PrivateCopy().c_str(), &seen) == 0 && S_ISREG(seen.st_mode) &&
         ::access(PrivateCopy().c_str(), R_OK) == 0;
}

bool ExtractorHome::MakeFolder() const {
  std::error_code failed;
  return !folder.empty() && (std::filesystem::create_directories(folder, failed) || !failed);
}

bool ExtractorHome::IsDue(const std::string& stamp, std::chrono::seconds period) const {
  if (folder.empty()) return false;
  struct stat seen {};
  if (::lstat((folder + stamp).c_str(), &seen) != 0 || !S_ISREG(seen.st_mode)) return true;
  const auto now = std::chrono::system_clock::now();
  const auto then = std::chrono::system_clock::from_time_t(seen.st_mtime);
  return then > now || now - then >= period;
}

bool ExtractorHome::TakeTurn(const std::string& stamp, std::chrono::seconds period) const {
  if (!IsDue(stamp, period) || !MakeFolder()) return false;
  const int fd = quillmarsh::OpenOwnFile(folder + stamp, 0644);
  if (fd < 0) return false;
  ::futimens(fd, nullptr);
  ::close(fd);
  return true;
}

}  // namespace tarnfetch
