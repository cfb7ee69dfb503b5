#pragma once
// Process-wide values, set once at start-up and read everywhere.

#include <string>

#include "shared/ProgramVocabulary.h"

namespace quillmarsh {

// Fixed before the windows are created; never changes during a run.
extern bool DebugMode;

// Folders and files of this run. Every folder path ends in '/'.
struct WorkingPaths {
  std::string appDir;  // folder of the running program
  std::string iniFileName = std::string(kSettingsFileName);
  bool portableMode = false;
  std::string dataDir;  // settings, report and log live here
  std::string iniPath;
  std::string skinFile;
  std::string reportFile;
  std::string logFile;
  std::string defaultOutputDir;  // documents folder + "Video Download/"
  std::string outputDir;         // where this run's downloads go
  std::string downloaderPath;    // appDir + "tarnfetch"
};

extern WorkingPaths Paths;

inline constexpr const char* kAppTitle = "Quillmarsh";

}  // namespace quillmarsh
