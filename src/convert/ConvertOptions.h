#pragma once
// The fixed tables of output formats and speed presets, and the lookup that
// turns a mission's stored format and preset names into ffmpeg options.

#include <string>
#include <string_view>
#include <vector>

namespace quillmarsh {

struct TFormatOption {
  std::string name;  // display name, stored in the mission's "format"
  std::string args;  // ffmpeg output options, ending in one blank
  std::string ext;   // output extension with its dot
};

struct TPriorityOption {
  std::string name;  // display name, stored in the mission's "priority"
  std::string args;  // ffmpeg preset option, ending in one blank
};

// Both tables in list order; built on first use, never changed afterwards.
const std::vector<TFormatOption>& FormatOptions();
const std::vector<TPriorityOption>& PriorityOptions();

struct ConvertArgs {
  std::string args;  // the format's options followed by the preset's
  std::string ext;
  bool found = false;  // whether the format name is in the table
};

// Names are matched whole and case-sensitive. An unknown format gives
// found == false, no extension and no format options; an unknown preset
// adds nothing.
ConvertArgs GetConvertArgs(std::string_view format, std::string_view priority);

// The converted file of a downloaded one: its name with the format's
// extension appended; empty for an unknown format or no downloaded file.
std::string ConvertedFileOf(const std::string& downloadedFile, std::string_view format);

}  // namespace quillmarsh
