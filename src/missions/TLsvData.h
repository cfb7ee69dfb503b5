#pragma once
// The record attached to each mission row.

#include <cstdint>
#include <string>

#include "missions/RetryWait.h"

namespace quillmarsh {

class TLsvData {
 public:
  explicit TLsvData(std::string u) : url(std::move(u)) {}

  std::string url;            // as created; the row's URL cell is what logic reads
  std::int32_t progress = 0;  // percentage the bar shows
  std::string fileName;       // downloaded file, empty until known
  bool doConvert = false;
  std::string format;    // format caption, e.g. "MP3 Audio(.mp3)"
  std::string priority;  // preset caption, e.g. "Quality First"
  std::string reason;    // why the mission last failed; empty unless it shows a failure
  // While paused: the waiting status that Resume gives back.
  std::string resumeStatus;
  // After a passing fault: when the download is tried again.
  RetryWait retry;
};

}  // namespace quillmarsh
