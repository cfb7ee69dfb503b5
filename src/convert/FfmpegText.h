#pragma once
// Reading the texts ffmpeg prints on its console. Plain C++.

#include <string>
#include <string_view>

namespace quillmarsh {

// Seconds of an 11-character time text such as "00:03:25.45" (h:mm:ss.ff,
// "." before the fraction whatever the locale); -1 when the text has another
// length or its hours, minutes or seconds do not read as numbers.
double TimeToSeconds(std::string_view text);

// The last line of a text (breaks at CR LF, lone CR, lone LF); a break at the
// very end starts no further line. Empty for an empty text.
std::string GetLastLine(std::string_view text);

// True when the text holds a message that ffmpeg prints when its output could
// not be written completely. ffmpeg may still exit with status 0 after some
// of them, so a conversion that printed one is not done.
bool HasFatalFfmpegText(std::string_view text);

// True when the text reads as one of ffmpeg's error messages: "error",
// "invalid", "no such file", "permission denied", "unknown", "not found",
// "failed", "unable", "cannot" or "could not", in any letter case.
bool IsFfmpegErrorText(std::string_view text);

}  // namespace quillmarsh
