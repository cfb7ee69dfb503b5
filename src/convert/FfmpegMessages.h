#pragma once
// ffmpeg's console output read as whole lines across chunks, so that a
// message is judged by ffmpeg's own words: ffmpeg echoes the file names it
// was given ("Input #0, avi, from '...'", "Output #0, mp3, to '...'", "...
// for output file #0 (...) has not been used"), and a video's title in a
// file name is no message of ffmpeg's.

#include <string>
#include <string_view>
#include <vector>

namespace quillmarsh {

class FfmpegMessages {
 public:
  // The file arguments of ffmpeg's command (after "-i", and the last one);
  // their text is taken out of every line before it is judged.
  void SetFileNames(const std::vector<std::string>& argv);
  // Appends a chunk; every line it completes is examined.
  void Add(std::string_view chunk);
  // The output has ended: the unterminated last line is examined too.
  void End();

  // True once ffmpeg itself printed one of the texts HasFatalFfmpegText knows.
  bool FatalTextSeen() const { return fatalTextSeen_; }
  // ffmpeg's last error line as it printed it (trimmed); its closing
  // "Conversion failed!" only when it printed no other. Empty when none.
  const std::string& LastError() const { return lastError_; }

  // The line without the file names given by SetFileNames.
  std::string OwnWords(std::string_view line) const;

 private:
  void Examine(std::string_view line);

  std::vector<std::string> names_;  // longest first
  std::string partial_;             // the line the last chunk left unfinished
  bool fatalTextSeen_ = false;
  std::string lastError_;
};

}  // namespace quillmarsh
