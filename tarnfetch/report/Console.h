#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnfetch {

// The markers Quillmarsh reads from our output. Each goes on a line of its
// own and is flushed at once, since the reader acts on every chunk it gets.
namespace console {

// The longest title line, tags included.
constexpr std::size_t kMaxTitleLineBytes = 400;

void Go();
// The title cleaned (TitleText.h) and cut to a line of kMaxTitleLineBytes;
// "video" when nothing is left.
void Title(std::string_view title);
void FileName(std::string_view path);
void Skip(std::string_view path);
void Progress(std::string_view percent, std::string_view size, std::string_view speed,
              std::string_view eta);
// How many connections (or segments at a time) a download settled on:
// "<connections>N</connections>". Quillmarsh shows it in its debug log only.
void Connections(int count);
// Whether trying again later may help (PassingFault.h): then the error line
// is followed by the try-later marker and Quillmarsh waits and tries again.
enum class Passing { Final, MayPass };
// Also used for usage mistakes, so the reader marks the mission failed.
void Error(std::string_view message, Passing passing = Passing::Final);
// One video of a list: its address, with blanks, control characters, "<",
// ">" and bytes beyond ASCII percent-encoded so that it stays one word,
// and its title, made safe and short as a title line is.
void ListEntry(std::string_view url, std::string_view title);
// Ends a list's entries: how many were printed, how many were left out for
// want of an http(s) address, and whether the list went on beyond them.
void ListEnd(std::size_t entries, std::size_t skipped, bool cut);
// Help and version texts, which are not markers.
void Plain(std::string_view text);

}  // namespace console

// Makes a value safe inside a marker: control characters become blanks (a
// line break would end the marker's line) and "<" becomes a look-alike, so
// that a title can neither close its own tag nor open another.
std::string MarkerSafe(std::string_view text);

}  // namespace tarnfetch
