#pragma once
// Reading the downloader's output markers. Plain text functions, so that
// the rules can be checked without threads or windows.

#include <optional>
#include <string>
#include <string_view>

#include "missions/FoundList.h"

namespace quillmarsh {

// What the first progress tag of a chunk says:
// "<speed>" percent "%" ... "of" size "at" speed "ETA" time "</speed>".
struct ProgressTag {
  int percent = 0;  // truncated toward zero
  std::string size;
  std::string speed;
  std::string eta;  // empty when the tag is not closed within the chunk
};

// The first progress tag of `chunk`, or nothing when there is no tag or its
// percent is not a number (read with '.' whatever the locale). Size, speed
// and time are cut from inside the tag only, so that a title or path
// elsewhere in the chunk cannot garble them.
std::optional<ProgressTag> ReadProgressTag(std::string_view chunk);

// One video of a list: "<list-entry>" address " " title "</list-entry>"
// on a whole line; nothing for any other line or an address that is no
// http(s) one. The title shows "<" as the downloader had it.
std::optional<ListedVideo> ReadListEntry(std::string_view line);

// The end of a list: "<list>" entries " " skipped " " cut "</list>".
struct ListEnd {
  int entries = 0;
  int skipped = 0;
  bool cut = false;
};
std::optional<ListEnd> ReadListEnd(std::string_view line);

// The line with the values of its <title>, <filename>, <skip> and list
// tags taken out. A value cut off by the end of the chunk is taken out to the end of
// the line, and text before a closing tag that has no opening tag (the rest
// of a value from the previous chunk) is taken out too.
std::string WithoutTagValues(std::string_view line);

// The downloader's crash report: "Traceback" outside the tag values.
bool IsCrashReportLine(std::string_view line);
// An error line: "ERROR", in any letter case, outside the tag values, so
// that a video titled "Terror" or a folder named "errors" is no failure.
bool IsErrorLine(std::string_view line);

// What the user reads about a failure line: the downloader's message after
// "ERROR: ", or else the whole line, tag values taken out and trimmed. The
// downloader writes "<" as U+FF1C so that no message can pose as a tag;
// the reason shows it as the message had it.
std::string FailureText(std::string_view line);

}  // namespace quillmarsh
