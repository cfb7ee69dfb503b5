#pragma once
// Line-level rules of the settings file: what a section line is, where a
// key's name and value lie, and how a stored value reads back.

#include <cstddef>
#include <string>
#include <string_view>

namespace quillmarsh {

namespace IniSyntax {

// Longest value a read gives back.
inline constexpr std::size_t kMaxValueLength = 2047;

// True for a section line ("[name]", blanks allowed around it); `name` is
// the trimmed text between '[' and the last ']'.
bool ParseSectionLine(std::string_view line, std::string_view& name);

// A key line: the name before the first '=', the value after it. A line
// without '=' is a key with an empty value. Blank lines are no keys.
struct KeyLine {
  std::string_view name;   // trimmed
  std::size_t valueStart;  // offset in the line just after '=' (line size when there is none)
  bool hasEquals;
};
bool ParseKeyLine(std::string_view line, KeyLine& key);

// The value as a read gives it: trimmed, one pair of matching single or
// double quotes removed, cut at kMaxValueLength.
std::string ReadValue(std::string_view raw);

// Line breaks inside a written value would start new keys or sections.
std::string OneLine(std::string_view text);

}  // namespace IniSyntax

}  // namespace quillmarsh
