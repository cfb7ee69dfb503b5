// The data folder as tarnfetch finds it without being told: the one
// Quillmarsh chooses; and a setting of tarnfetch's kept in the settings file.
#include "shared/DataFolder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "missions/MissionFile.h"
#include "platform/UserFolders.h"
#include "shared/IniFile.h"
#include "support/TempDir.h"

namespace quillmarsh {
namespace {

TEST(DataFolder, IsTheProgramsFolderOnlyInPortableModeElseTheUsersDataFolder) {
  TempDir program;
  TempDir data;
  const std::string saved = getenv("XDG_DATA_HOME") ? getenv("XDG_DATA_HOME") : "";
  setenv("XDG_DATA_HOME", data.path().c_str(), 1);
  const std::string users = data.path() + "/Quillmarsh/";
  // Quillmarsh's own choice when not portable.
  EXPECT_EQ(AppendSlash(AppendSlash(ApplicationDataFolder()) + "Quillmarsh"), users);
  struct Case {
    const char* settings;  // qlmsh.ini beside the program; none: no file
    std::string folder;
  };
  for (const Case& c : {Case{nullptr, users}, Case{"[Config]\r\nPortableMode=0\r\n", users},
                        Case{"[config]\r\nportablemode = 1\r\n", program.path() + "/"},
                        Case{"[Other]\r\nPortableMode=1\r\n", users}}) {
    SCOPED_TRACE(c.settings ? c.settings : "no file");
    std::remove(program.file("qlmsh.ini").c_str());
    if (c.settings) WriteFile(program.file("qlmsh.ini"), c.settings);
    EXPECT_EQ(DataFolderFor(program.path()), c.folder);
  }
  if (saved.empty()) {
    unsetenv("XDG_DATA_HOME");
  } else {
    setenv("XDG_DATA_HOME", saved.c_str(), 1);
  }
}

TEST(DataFolder, UpdateSiteExtractorIsKeptWhenTheMissionsAreSaved) {
  TempDir dir;
  WriteFile(dir.file("qlmsh.ini"), "[Config]\r\nUpdateSiteExtractor=0\r\nMission=0\r\n");
  IniFile ini(dir.file("qlmsh.ini"));
  MissionModel model;
  SaveMissionFile(ini, model, false, "/videos/");
  EXPECT_FALSE(IniFile(dir.file("qlmsh.ini")).ReadBool("Config", "UpdateSiteExtractor", true));
  EXPECT_EQ(IniFile(dir.file("qlmsh.ini")).ReadString("Config", "Output", ""), "/videos/");
}

}  // namespace
}  // namespace quillmarsh
