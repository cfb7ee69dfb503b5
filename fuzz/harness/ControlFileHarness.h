#pragma once
// tarnfetch's reading of a ".part"'s control file, which any program may
// have written. The input is the file. What is loaded must be ranges a
// resumed run can trust: ordered, apart, non-empty, their sum exact, and
// the same again after a save.

#include <stdlib.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "files/ControlFile.h"
#include "files/OutputFolder.h"

namespace fuzz {

inline const tarnfetch::OutputFolder& ControlFolder() {
  static const std::string path = [] {
    char name[] = "/tmp/control-fuzz-XXXXXX";
    return std::string(mkdtemp(name));
  }();
  static const tarnfetch::OutputFolder folder(path);
  return folder;
}

inline void RunControlFile(std::string_view data) {
  const tarnfetch::OutputFolder& folder = ControlFolder();
  {
    std::ofstream out(folder.Path() + "/clip.mp4.part.ctl", std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
  }
  tarnfetch::ControlFile control(folder, "clip.mp4");
  if (!control.Load()) {
    FUZZ_CHECK(control.Done().empty());
    return;
  }
  std::uint64_t sum = 0;
  std::uint64_t previousEnd = 0;
  bool first = true;
  for (const auto& [from, end] : control.Done()) {
    FUZZ_CHECK(from < end);
    FUZZ_CHECK(first || from > previousEnd);  // neighbours merge
    FUZZ_CHECK(sum <= UINT64_MAX - (end - from));
    sum += end - from;
    previousEnd = end;
    first = false;
  }
  FUZZ_CHECK(control.DoneBytes() == sum);
  control.Save();
  tarnfetch::ControlFile again(folder, "clip.mp4");
  FUZZ_CHECK(again.Load());
  FUZZ_CHECK(again.Done() == control.Done());
}

}  // namespace fuzz
