#include "shared/DataFolder.h"
#include "shared/ProgramVocabulary.h"

#include <cstdlib>

#include "shared/IniFile.h"

namespace quillmarsh {

std::string DataFolderFor(const std::string& programFolder) {
  std::string program = programFolder;
  if (!program.empty() && program.back() != '/') program += '/';
  if (!program.empty() && IniFile(program + std::string(kSettingsFileName))
                              .ReadBool(IniKeys::Config, IniKeys::PortableMode, false)) {
    return program;
  }
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return std::string(data) + "/Quillmarsh/";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share/Quillmarsh/";
  return {};
}

}  // namespace quillmarsh
