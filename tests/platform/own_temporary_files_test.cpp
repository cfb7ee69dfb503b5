// Temporary files made beside a target: never an existing file, and what a
// crash left is removed at the next start while a user's file stays.
#include "platform/OwnTemporaryFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/TempDir.h"

namespace quillmarsh {

namespace fs = std::filesystem;

namespace {

TEST(OwnTemporaryFiles, MadeExclusivelyWithTheUsersModeAndReleased) {
  TempDir dir;
  const std::string journal = dir.file("journal");
  const std::string target = dir.file("clip.avi.mp3");
  std::string error;
  const std::string a = CreateOwnTemporary(target, journal, &error);
  const std::string b = CreateOwnTemporary(target, journal, &error);
  ASSERT_FALSE(a.empty()) << error;
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind(target + ".", 0), 0u);
  EXPECT_TRUE(a.ends_with(".part"));
  struct stat st {};
  ASSERT_EQ(::stat(a.c_str(), &st), 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);

  ReleaseOwnTemporary(a, journal, true);
  EXPECT_FALSE(fs::exists(a));
  fs::rename(b, target);
  ReleaseOwnTemporary(b, journal, false);  // it became the target
  EXPECT_TRUE(fs::exists(target));
  EXPECT_FALSE(fs::exists(journal)) << "nothing left to remember";

  EXPECT_TRUE(CreateOwnTemporary(dir.file("missing/x"), journal, &error).empty());
  EXPECT_NE(error.find("missing/x"), std::string::npos) << error;
}

TEST(OwnTemporaryFiles, AStartRemovesWhatACrashLeftAndNoUsersFile) {
  TempDir dir;
  const std::string journal = dir.file("journal");
  std::string error;
  const std::string left = CreateOwnTemporary(dir.file("a.mp4"), journal, &error);
  const std::string replaced = CreateOwnTemporary(dir.file("b\nc.mp4"), journal, &error);
  // The user put a file of their own under one of the names since (later
  // than the file system's clock tick: it may well get the same inode).
  fs::remove(replaced);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  WriteFile(replaced, "the user's");
  const std::string lookalike = dir.file("a.mp4.Ab3dEf.part");
  WriteFile(lookalike, "the user's too");

  EXPECT_EQ(RemoveStaleOwnTemporaries(journal), 1);
  EXPECT_FALSE(fs::exists(left));
  EXPECT_EQ(ReadFile(replaced), "the user's");
  EXPECT_EQ(ReadFile(lookalike), "the user's too");
  EXPECT_EQ(RemoveStaleOwnTemporaries(journal), 0);
}

}  // namespace

}  // namespace quillmarsh
