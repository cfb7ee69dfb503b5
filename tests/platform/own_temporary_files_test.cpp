// Temporary files made beside a target: never an existing file, and what a
// crash left is removed at the next start while a user's file stays.
#include "platform/OwnTemporaryFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "support/TempDir.h"

namespace quillmarsh {

namespace fs = std::filesystem;

TEST(OwnTemporaryFiles, MadeAnewAndWhatACrashLeftGoesButNoUsersFile) {
  TempDir dir;
  const std::string journal = dir.file("journal");
  std::string error;
  const std::string left = CreateOwnTemporary(dir.file("a.mp4"), journal, &error);
  const std::string kept = CreateOwnTemporary(dir.file("a.mp4"), journal, &error);
  const std::string replaced = CreateOwnTemporary(dir.file("b\nc.mp4"), journal, &error);
  ASSERT_NE(left, kept);
  EXPECT_EQ(left.rfind(dir.file("a.mp4."), 0), 0u);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(fs::status(left).permissions(), fs::perms(0666 & ~mask));
  fs::rename(kept, dir.file("a.mp4"));
  ReleaseOwnTemporary(kept, journal, false);  // it became the converted file
  // The user put a file of their own under one of the names since (after
  // the file system's clock tick: it may well get the same inode).
  fs::remove(replaced);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  WriteFile(replaced, "the user's");
  WriteFile(dir.file("a.mp4.Ab3dEf.part"), "the user's too");

  EXPECT_EQ(RemoveStaleOwnTemporaries(journal), 1);
  EXPECT_FALSE(fs::exists(left));
  EXPECT_EQ(ReadFile(replaced), "the user's");
  EXPECT_EQ(ReadFile(dir.file("a.mp4.Ab3dEf.part")), "the user's too");
  EXPECT_TRUE(fs::exists(dir.file("a.mp4")));
  EXPECT_TRUE(CreateOwnTemporary(dir.file("missing/x"), journal, &error).empty());
  EXPECT_NE(error.find("missing/x"), std::string::npos) << error;
}

}  // namespace quillmarsh
