#include "shared/IniFile.h"

#include "shared/Text.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include "support/TempDir.h"

namespace quillmarsh {

namespace fs = std::filesystem;

namespace {
// The settings file as a save in normal mode writes it: two missions.
const std::string kExample =
    "[Config]\r\nPortableMode=0\r\n"
    "Output=C:\\Documents and Settings\\user1\\My Documents\\Video Download\\\r\n"
    "Mission=2\r\n"
    "[0]\r\nurl=(video-page URL of the first mission)\r\nstatus=[Converted]\r\nsize=23.4M\r\n"
    "videoName=Lake at dawn\r\n"
    "fileName=C:\\Documents and Settings\\user1\\My Documents\\Video Download\\Lake at "
    "dawn.flv\r\n"
    "doConvert=1\r\nformat=MP3 Audio(.mp3)\r\npriority=Quality First\r\n"
    "[1]\r\nurl=(video-page URL of the second mission)\r\nstatus=[Downloading] 45%\r\n"
    "size=8.0M\r\nvideoName=Second clip\r\n"
    "fileName=C:\\Documents and Settings\\user1\\My Documents\\Video Download\\Second "
    "clip.flv\r\n"
    "doConvert=0\r\nformat=iPad (.mp4)\r\npriority=Quality First\r\n";

// Files beside the settings file other than itself.
std::vector<std::string> Leftovers(const fs::path& dir, const fs::path& keep) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path() != keep) names.push_back(entry.path().filename().string());
  return names;
}

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "qm-ini-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    path_ = dir_ / "qlmsh.ini";
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
  fs::path path_;
};

TEST_F(IniFileTest, ExampleFileReadsAndWritesBackByteForByte) {
  WriteFile(path_, kExample);
  IniFile ini(path_.string());
  EXPECT_EQ(ini.ReadString("Config", "Output", ""),
            "C:\\Documents and Settings\\user1\\My Documents\\Video Download\\");
  EXPECT_EQ(ini.ReadInteger("Config", "Mission", 0), 2);
  EXPECT_EQ(ini.ReadString("1", "status", ""), "[Downloading] 45%");
  EXPECT_TRUE(ini.ReadBool("0", "doConvert", false));
  ini.WriteInteger("Config", "Mission", 2);
  EXPECT_EQ(ReadFile(path_), kExample);
}

TEST_F(IniFileTest, NamesMatchWithoutRegardToAsciiCase) {
  WriteFile(path_, "[Config]\r\nMission=2\r\n");
  IniFile ini(path_.string());
  EXPECT_EQ(ini.ReadInteger("CONFIG", "mission", 0), 2);
  ini.WriteInteger("config", "MISSION", 3);
  // Replaced where it stands, with its own spelling.
  EXPECT_EQ(ReadFile(path_), "[Config]\r\nMission=3\r\n");
  // Only ASCII letters fold.
  ini.WriteString("\xC3\x89t\xC3\xA9", "k", "v");
  EXPECT_EQ(ini.ReadString("\xC3\x89T\xC3\xA9", "K", "none"), "v");
  EXPECT_EQ(ini.ReadString("\xC3\xA9t\xC3\xA9", "k", "none"), "none");
}

TEST_F(IniFileTest, ValuesAreCutAtTheFirstEqualsTrimmedAndUnquoted) {
  const std::string longValue(3000, 'v');
  WriteFile(path_,
            "[S]\r\n  spaced  =  a b  \r\neq=x=y=z\r\ndq=\"quoted \"\r\nsq='single'\r\n"
            "mixed='half\"\r\nlone=\"\r\nempty=\r\nbare\r\nlong=" +
                longValue + "\r\n");
  IniFile ini(path_.string());
  EXPECT_EQ(ini.ReadString("S", "spaced", "-"), "a b");
  EXPECT_EQ(ini.ReadString("S", "eq", "-"), "x=y=z");
  EXPECT_EQ(ini.ReadString("S", "dq", "-"), "quoted ");
  EXPECT_EQ(ini.ReadString("S", "sq", "-"), "single");
  EXPECT_EQ(ini.ReadString("S", "mixed", "-"), "'half\"");
  EXPECT_EQ(ini.ReadString("S", "lone", "-"), "\"");
  EXPECT_EQ(ini.ReadString("S", "empty", "-"), "");
  EXPECT_EQ(ini.ReadString("S", "bare", "-"), "");
  EXPECT_EQ(ini.ReadString("S", "long", "-"), longValue.substr(0, 2047));
  EXPECT_EQ(ini.ReadString("S", "missing", "-"), "-");
  EXPECT_EQ(ini.ReadString("T", "eq", "-"), "-");
}

TEST_F(IniFileTest, IntegersAndBooleansFallBackToTheDefaultWhenUnparsable) {
  WriteFile(path_,
            "[N]\r\na=12\r\nb=-3\r\nc= 7 \r\nd=x\r\ne=\r\nf=99999999999\r\ng=12abc\r\n"
            "t=2\r\nz=0\r\ny=yes\r\n");
  IniFile ini(path_.string());
  EXPECT_EQ(ini.ReadInteger("N", "a", 5), 12);
  EXPECT_EQ(ini.ReadInteger("N", "b", 5), -3);
  EXPECT_EQ(ini.ReadInteger("N", "c", 5), 7);
  for (const char* key : {"d", "e", "f", "g", "missing"})
    EXPECT_EQ(ini.ReadInteger("N", key, 5), 5) << key;
  EXPECT_TRUE(ini.ReadBool("N", "t", false));
  EXPECT_FALSE(ini.ReadBool("N", "z", true));
  EXPECT_FALSE(ini.ReadBool("N", "y", false));
  EXPECT_TRUE(ini.ReadBool("N", "y", true));
  EXPECT_TRUE(ini.ReadBool("N", "missing", true));

  ini.WriteInteger("N", "a", -40);
  ini.WriteBool("N", "t", true);
  ini.WriteBool("N", "z", false);
  EXPECT_EQ(ini.ReadString("N", "a", ""), "-40");
  EXPECT_EQ(ini.ReadString("N", "t", ""), "1");
  EXPECT_EQ(ini.ReadString("N", "z", ""), "0");
}

TEST_F(IniFileTest, MissingFileReadsAsEmptyAndTheFirstWriteCreatesIt) {
  IniFile ini(path_.string());
  EXPECT_EQ(ini.ReadString("Config", "Output", "def"), "def");
  EXPECT_TRUE(ini.SectionNames().empty());
  EXPECT_FALSE(fs::exists(path_));
  ini.WriteString("Config", "Output", "/x/");
  EXPECT_EQ(ReadFile(path_), "[Config]\r\nOutput=/x/\r\n");
}

TEST_F(IniFileTest, AnyLineBreakSplitsLinesAndWritingUsesCrLf) {
  WriteFile(path_, "[A]\na=1\rb=2\r\n\n[B]\rc=3");
  IniFile ini(path_.string());
  EXPECT_EQ(ini.ReadString("A", "a", ""), "1");
  EXPECT_EQ(ini.ReadString("A", "b", ""), "2");
  EXPECT_EQ(ini.ReadString("B", "c", ""), "3");
  ini.WriteString("B", "c", "4");
  EXPECT_EQ(ReadFile(path_), "[A]\r\na=1\r\nb=2\r\n\r\n[B]\r\nc=4\r\n");
}

TEST_F(IniFileTest, AByteOrderMarkDoesNotHideTheFirstSection) {
  WriteFile(path_, "\xEF\xBB\xBF[Config]\r\nMission=2\r\n");
  IniFile ini(path_.string());
  EXPECT_EQ(ini.ReadInteger("Config", "Mission", 0), 2);
  ini.WriteInteger("Config", "Mission", 3);
  EXPECT_EQ(ReadFile(path_), "\xEF\xBB\xBF[Config]\r\nMission=3\r\n");
}

TEST_F(IniFileTest, WritesReplaceInPlaceAppendToTheSectionOrAddASection) {
  WriteFile(path_, "; note\r\n[A]\r\nk=1\r\n  \r\n[B]\r\nm=2\r\n\r\n");
  IniFile ini(path_.string());
  ini.WriteString("A", "k", "one");
  ini.WriteString("A", "new", "n");  // before the blank line that ends [A]
  ini.WriteString("B", "x", "y");
  ini.WriteString("C", "z", "w");
  EXPECT_EQ(ReadFile(path_),
            "; note\r\n[A]\r\nk=one\r\nnew=n\r\n  \r\n[B]\r\nm=2\r\nx=y\r\n\r\n[C]\r\nz=w\r\n");
  EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"A", "B", "C"}));
}

TEST_F(IniFileTest, ErasingASectionRemovesItsHeaderAndKeysOnly) {
  WriteFile(path_, "[A]\r\na=1\r\n[0]\r\nu=x\r\nv=y\r\n[B]\r\nb=2\r\n[0]\r\nu=dup\r\n");
  IniFile ini(path_.string());
  ini.EraseSection("0");
  EXPECT_EQ(ReadFile(path_), "[A]\r\na=1\r\n[B]\r\nb=2\r\n");
  // A second copy of the name must not come back to life.
  EXPECT_EQ(ini.ReadString("0", "u", "gone"), "gone");
  ini.WriteString("0", "u", "new");
  EXPECT_EQ(ReadFile(path_), "[A]\r\na=1\r\n[B]\r\nb=2\r\n[0]\r\nu=new\r\n");
}

TEST_F(IniFileTest, ABatchWritesTheFileOnceAtCommit) {
  WriteFile(path_, "[A]\r\na=1\r\n");
  IniFile ini(path_.string());
  {
    IniFile::Batch batch(ini);
    ini.WriteString("A", "a", "2");
    {
      IniFile::Batch inner(ini);
      ini.EraseSection("A");
      ini.WriteString("B", "b", "3");
      inner.commit();  // the outer batch still holds the update back
    }
    EXPECT_EQ(ReadFile(path_), "[A]\r\na=1\r\n");
    batch.commit();
  }
  EXPECT_EQ(ReadFile(path_), "[B]\r\nb=3\r\n");
  {
    IniFile::Batch abandoned(ini);
    ini.WriteString("B", "b", "4");
  }
  EXPECT_EQ(ReadFile(path_), "[B]\r\nb=3\r\n");
  EXPECT_EQ(ini.ReadString("B", "b", ""), "4");
  ini.WriteString("C", "c", "5");  // carries the abandoned change along
  EXPECT_EQ(ReadFile(path_), "[B]\r\nb=4\r\n[C]\r\nc=5\r\n");
}

TEST_F(IniFileTest, LineBreaksInsideAWrittenValueCannotAddKeysOrSections) {
  IniFile ini(path_.string());
  ini.WriteString("0", "videoName", "a\r\n[Config]\r\nOutput=/etc/");
  IniFile reread(path_.string());
  EXPECT_EQ(reread.ReadString("Config", "Output", "none"), "none");
  EXPECT_EQ(reread.ReadString("0", "videoName", ""), "a  [Config]  Output=/etc/");
}

TEST_F(IniFileTest, RefusedWriteRaisesTheMessage) {
  for (const fs::path& bad : {dir_ / "missing" / "qlmsh.ini", dir_ / "file" / "qlmsh.ini"}) {
    WriteFile(dir_ / "file", "not a folder");
    IniFile ini(bad.string());
    try {
      ini.WriteString("Config", "Mission", "1");
      ADD_FAILURE() << "no error for " << bad;
    } catch (const IniWriteError& e) {
      EXPECT_EQ(std::string(e.what()), "Unable to write to " + bad.string());
    }
    EXPECT_EQ(ini.ReadString("Config", "Mission", ""), "1");  // kept in memory
  }
}

// A file-size limit makes every write past it fail, even for root, as a
// full disk would.
TEST_F(IniFileTest, WriteFailingHalfwayKeepsThePreviousFileComplete) {
  WriteFile(path_, kExample);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{512, 512};
    setrlimit(RLIMIT_FSIZE, &limit);
    IniFile ini(path_.string());
    try {
      ini.WriteString("0", "videoName", std::string(4000, 'x'));
    } catch (const IniWriteError& e) {
      _exit(std::string(e.what()) == "Unable to write to " + path_.string() ? 0 : 2);
    }
    _exit(1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no error raised, 2: wrong message";
  EXPECT_EQ(ReadFile(path_), kExample);
  EXPECT_TRUE(Leftovers(dir_, path_).empty());
}

void WriteVersion(IniFile& ini, char fill) {
  IniFile::Batch batch(ini);
  for (int section = 0; section < 3000; ++section)
    for (const char* key : {"url", "status", "size", "videoName"})
      ini.WriteString(std::to_string(section), key, std::string(40, fill));
  batch.commit();
}

TEST_F(IniFileTest, ProcessKilledDuringSavesLeavesOneCompleteVersion) {
  const fs::path pathB = dir_ / "b.ini";
  {
    IniFile b(pathB.string());
    WriteVersion(b, 'b');
    IniFile a(path_.string());
    WriteVersion(a, 'a');
  }
  const std::string versionA = ReadFile(path_);
  const std::string versionB = ReadFile(pathB);
  fs::remove(pathB);

  std::mt19937 random(12345);
  for (int round = 0; round < 8; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      IniFile ini(path_.string());
      for (int i = 0;; ++i) WriteVersion(ini, i % 2 ? 'a' : 'b');
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 80));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const std::string now = ReadFile(path_);
    EXPECT_TRUE(now == versionA || now == versionB) << "round " << round << ": " << now.size();
  }
  // Whatever the kills left beside the file goes at the next start.
  IniFile::RemoveStaleTemporaries(path_.string());
  EXPECT_TRUE(Leftovers(dir_, path_).empty());
}

TEST_F(IniFileTest, StaleTemporariesOfOtherFilesStay) {
  WriteFile(path_, kExample);
  WriteFile(dir_ / "qlmsh.ini.tmp-a1B2c3", "half");
  WriteFile(dir_ / "qlmsh.ini.tmp-", "exact prefix only");
  WriteFile(dir_ / "other.ini.tmp-a1B2c3", "other");
  fs::create_directory(dir_ / "qlmsh.ini.tmp-folder");
  IniFile::RemoveStaleTemporaries(path_.string());
  std::vector<std::string> left = Leftovers(dir_, path_);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"other.ini.tmp-a1B2c3", "qlmsh.ini.tmp-",
                                            "qlmsh.ini.tmp-folder"}));
  EXPECT_EQ(ReadFile(path_), kExample);
}

TEST_F(IniFileTest, SaveKeepsPermissionsAndSymbolicLinks) {
  const fs::path real = dir_ / "real.ini";
  WriteFile(real, kExample);
  chmod(real.c_str(), 0640);
  fs::create_symlink(real, path_);
  IniFile ini(path_.string());
  ini.WriteInteger("Config", "Mission", 5);
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(IniFile(real.string()).ReadInteger("Config", "Mission", 0), 5);
  struct stat st {};
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(IniFileTest, DamagedFilesLoadAndWriteBack) {
  std::mt19937 random(7);
  std::string garbage(1 << 20, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  garbage += "\r\n[Config]\r\nMission=1\r\n";
  WriteFile(path_, garbage);
  {
    IniFile ini(path_.string());
    EXPECT_EQ(ini.ReadInteger("Config", "Mission", 0), 1);
    ini.WriteInteger("Config", "Mission", 1);
  }
  // Lines come back with CR LF, but the bytes of every line are kept.
  EXPECT_EQ(SplitLines(ReadFile(path_)), SplitLines(garbage));

  WriteFile(path_, "[S]\r\nk=" + std::string(10 << 20, 'z') + "\r\n");
  IniFile ini(path_.string());
  EXPECT_EQ(ini.ReadString("S", "k", "").size(), 2047u);
  ini.WriteString("S", "after", "1");
  EXPECT_EQ(IniFile(path_.string()).ReadString("S", "after", ""), "1");
}

TEST_F(IniFileTest, NulBytesStayInsideValues) {
  const std::string text("[S]\r\nk=a\0b\r\n", 12);
  WriteFile(path_, text);
  IniFile ini(path_.string());
  EXPECT_EQ(ini.ReadString("S", "k", ""), std::string("a\0b", 3));
  ini.WriteString("S", "j", "x");
  EXPECT_EQ(ReadFile(path_), text + "j=x\r\n");
}
}  // namespace

}  // namespace quillmarsh
