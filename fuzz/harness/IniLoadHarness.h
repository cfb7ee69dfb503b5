#pragma once
// The settings file from arbitrary bytes: the real IniFile reads it and
// LoadMissionFile turns it into rows; then SaveMissionFile writes those rows back
// into the same file and a fresh load must give the same rows, up to what
// a read does to any value (trimmed, one pair of quotes taken off, at most
// 2047 characters, line breaks written as blanks).

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "FuzzCheck.h"
#include "missions/MissionFile.h"
#include "missions/MissionStatus.h"
#include "shared/IniFile.h"
#include "shared/IniSyntax.h"
#include "shared/Text.h"

namespace fuzz {

using namespace quillmarsh;

// A folder of this process for the file under test, removed at exit; a RAM
// disk when there is one, since every save is flushed to disk.
inline const std::string& ScratchFolder() {
  struct Folder {
    std::string path;
    Folder() {
      const std::string base = std::filesystem::is_directory("/dev/shm")
                                   ? std::string("/dev/shm")
                                   : std::filesystem::temp_directory_path().string();
      path = base + "/qm-ini-fuzz-" + std::to_string(getpid());
      std::filesystem::create_directories(path);
    }
    ~Folder() {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
  };
  static const Folder folder;
  return folder.path;
}

inline bool WriteBytes(const std::string& path, std::string_view data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

// What a read gives back for a value that was written as `text`.
inline std::string ReadBack(std::string_view text) {
  return IniSyntax::ReadValue(IniSyntax::OneLine(text));
}

inline void CheckLoadedRows(const MissionModel& rows) {
  for (int i = 0; i < rows.count(); ++i) {
    const std::string& status = rows.status(i);
    // Interrupted work always comes back waiting.
    FUZZ_CHECK(!Contains(status, Status::Downloading) && !Contains(status, Status::Converting));
    FUZZ_CHECK(rows.record(i).progress >= 0 && rows.record(i).progress <= 100);
    for (const std::string* value :
         {&rows.url(i), &status, &rows.subItem(i, SubSize), &rows.record(i).fileName,
          &rows.record(i).format, &rows.record(i).priority}) {
      FUZZ_CHECK(value->size() <= IniSyntax::kMaxValueLength && !HasLineBreak(*value));
    }
    const MappedStatus again = MapStoredStatus(status);
    FUZZ_CHECK(again.status == status);
  }
}

inline void RunIniLoad(std::string_view data) {
  const std::string path = ScratchFolder() + "/qlmsh.ini";
  if (!WriteBytes(path, data)) return;
  const std::string defaultOutput = "/home/user/Documents/Video Download/";

  MissionModel first;
  std::string output;
  {
    IniFile ini(path);
    output = LoadMissionFile(ini, first, defaultOutput);
    FUZZ_CHECK(output.size() <= IniSyntax::kMaxValueLength || output == defaultOutput);
    CheckLoadedRows(first);
    // Every row stands for a stored section or a bounded gap before one.
    FUZZ_CHECK(static_cast<std::size_t>(first.count()) <= ini.SectionNames().size() + 1000);

    SaveMissionFile(ini, first, data.size() % 2 == 1, output);
  }

  MissionModel second;
  IniFile reread(path);
  const std::string outputAgain = LoadMissionFile(reread, second, defaultOutput);
  FUZZ_CHECK(outputAgain == ReadBack(output));
  FUZZ_CHECK(reread.ReadBool("Config", "PortableMode", data.size() % 2 == 0) ==
             (data.size() % 2 == 1));
  FUZZ_CHECK(reread.ReadInteger("Config", "Mission", -1) == first.count());
  FUZZ_CHECK(second.count() == first.count());
  if (second.count() != first.count()) return;

  // The rows the saved values must load as.
  MissionModel expected;
  for (int i = 0; i < first.count(); ++i) {
    const MappedStatus status = MapStoredStatus(ReadBack(first.status(i)));
    const TLsvData& r = first.record(i);
    expected.addLsvItem(ReadBack(first.url(i)), status.status, status.progress,
                        ReadBack(first.subItem(i, SubSize)), ReadBack(first.caption(i)),
                        ReadBack(r.fileName), r.doConvert, ReadBack(r.format),
                        ReadBack(r.priority));
  }
  for (int i = 0; i < second.count(); ++i) {
    FUZZ_CHECK(second.url(i) == expected.url(i));
    FUZZ_CHECK(second.status(i) == expected.status(i));
    FUZZ_CHECK(second.record(i).progress == expected.record(i).progress);
    FUZZ_CHECK(second.subItem(i, SubSize) == expected.subItem(i, SubSize));
    FUZZ_CHECK(second.caption(i) == expected.caption(i));
    FUZZ_CHECK(second.record(i).fileName == expected.record(i).fileName);
    FUZZ_CHECK(second.record(i).doConvert == expected.record(i).doConvert);
    FUZZ_CHECK(second.record(i).format == expected.record(i).format);
    FUZZ_CHECK(second.record(i).priority == expected.record(i).priority);
  }
}

}  // namespace fuzz
