#pragma once

#include <chrono>
#include <string>

namespace tarnfetch {

// Where tarnfetch keeps its own copy of the site extractor, and where that
// copy comes from: the "site-extractor" folder in Quillmarsh's data folder
// (beside the program in portable mode), the project's release address and
// the release key beside the program. Only tests replace the last two, with
// TARNFETCH_TEST_RELEASE_URL and TARNFETCH_TEST_RELEASE_KEY.
struct ExtractorHome {
  static constexpr const char* kReleaseUrl =
      "https://github.com/yt-dlp/yt-dlp/releases/latest/download/";

  std::string dataFolder;   // ends in '/'; empty when there is none
  std::string folder;       // dataFolder + "site-extractor/"
  std::string releaseBase;  // the release's files are here; ends in '/'
  std::string releaseKey;   // the armored key that signs its checksums
  // UpdateSiteExtractor in [Config] of the settings file; on when missing.
  bool updatesOn = false;
  // How long an update may take: on its own (the daily check), and while a
  // download waits for it. Tests shorten both to TARNFETCH_TEST_UPDATE_LIMIT.
  std::chrono::seconds updateLimit{std::chrono::minutes(3)};
  std::chrono::seconds waitingUpdateLimit{30};

  static ExtractorHome Find();

  std::string PrivateCopy() const { return folder + "yt-dlp"; }
  // Its version, written when it was installed.
  std::string VersionFile() const { return folder + "yt-dlp.version"; }
  // The first line of VersionFile(); empty when it is not a plain file.
  std::string InstalledVersion() const;
  // True when the private copy is a regular file (not a link, not a FIFO).
  bool HasPrivateCopy() const;
  // What the last update did, in words, for Quillmarsh's debug report.
  std::string ReportFile() const { return folder + "report.txt"; }

  // Makes `folder` with the folders above it; false when it cannot be.
  bool MakeFolder() const;
  bool UpdatesOn() const { return updatesOn; }
  // True when the stamp is older than `period` (or missing, or from the
  // future).
  bool IsDue(const std::string& stamp, std::chrono::seconds period) const;
  // IsDue, and then renews the stamp, so that other runs wait a period.
  bool TakeTurn(const std::string& stamp, std::chrono::seconds period) const;
};

}  // namespace tarnfetch
