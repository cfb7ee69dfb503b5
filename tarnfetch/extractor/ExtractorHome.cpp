#include "extractor/ExtractorHome.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "shared/DataFolder.h"
#include "shared/FindProgram.h"
#include "shared/IniFile.h"
#include "shared/ProgramVocabulary.h"

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
  return home;
}

bool ExtractorHome::MakeFolder() const {
  std::error_code failed;
  return !folder.empty() && (std::filesystem::create_directories(folder, failed) || !failed);
}

bool ExtractorHome::IsDue(const std::string& stamp, std::chrono::seconds period) const {
  if (folder.empty()) return false;
  struct stat seen {};
  if (::stat((folder + stamp).c_str(), &seen) != 0) return true;
  const auto now = std::chrono::system_clock::now();
  const auto then = std::chrono::system_clock::from_time_t(seen.st_mtime);
  return then > now || now - then >= period;
}

bool ExtractorHome::TakeTurn(const std::string& stamp, std::chrono::seconds period) const {
  if (!IsDue(stamp, period) || !MakeFolder()) return false;
  const int fd = ::open((folder + stamp).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  ::futimens(fd, nullptr);
  ::close(fd);
  return true;
}

}  // namespace tarnfetch
