#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnfetch {

// Longest title part of a file name, in bytes.
constexpr std::size_t kMaxTitleBytes = 200;
// Longest final name, leaving room for ".part" within the usual 255 bytes.
constexpr std::size_t kMaxNameBytes = 250;
// What a piece of picture or sound adds to the name (".video", ".audio").
constexpr std::size_t kPieceSuffixBytes = 6;

// A title made safe as a file name: cleaned by CleanTitle (TitleText.h); no
// "/" or "<"; no leading "." or "-" (hidden files, option look-alikes); at
// most maxBytes bytes without cutting a character; "video" when nothing is
// left.
std::string SanitizeTitle(std::string_view title, std::size_t maxBytes = kMaxTitleBytes);

// Where the download goes: the folder of the output template and the name
// made from its last part.
struct OutputTarget {
  std::string folder;                        // as written in the template; "." when it has none
  std::string name;                          // a single path component, never "." or ".."
  std::string path;                          // the absolute path shown to the user
  std::size_t maxNameBytes = kMaxNameBytes;  // for a numbered name too
};

// Fills "%(title)s" and "%(ext)s" in the template's last part. The title is
// sanitised here and shortened as needed so that the name stays within
// kMaxNameBytes, less reservedBytes for what pieces add to it
// (kPieceSuffixBytes). Throws FetchError when no valid name can be made.
OutputTarget ExpandTemplate(std::string_view pathTemplate, std::string_view title,
                            std::string_view extension, std::size_t reservedBytes = 0);

}  // namespace tarnfetch
