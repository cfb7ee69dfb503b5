#pragma once
// What schedulers and workers need from the window that owns the missions.
// The main window implements it; tests implement it without widgets.

#include <string>
#include <vector>

#include "missions/FoundList.h"
#include "missions/MissionModel.h"
#include "missions/PipelineState.h"

namespace quillmarsh {

class MissionHost {
 public:
  virtual ~MissionHost() = default;

  virtual MissionModel& Missions() = 0;
  virtual PipelineState& Pipeline() = 0;

  // The folder of the running program (the downloader and ffmpeg are
  // looked for there) and the folder downloads go to. Both end in '/'.
  virtual std::string ProgramDir() const = 0;
  virtual std::string OutputDir() const = 0;

  // Diagnostics; the host decides whether they go anywhere (debug mode).
  virtual void WriteReport(const std::string& text) = 0;
  virtual void WriteLog(const std::string& text) = 0;

  virtual void StartDownload() = 0;
  // A download's address was a list: the host adds its videos (asking the
  // user first when there are many). Called in a worker's hand-over; the
  // host must not wait for the user there.
  virtual void ListFound(FoundList list) = 0;
  virtual void StartConvert() = 0;
  virtual void SaveSettings() = 0;  // may throw IniWriteError

  // What the downloader is told of the user's sign-in for the address (see
  // SignInSettings.h).
  virtual std::vector<std::string> SignInArguments(const std::string& url) const {
    (void)url;
    return {};
  }

  // The two limits of the diagnostics window, read afresh at every call.
  virtual int DownloadLimit() const = 0;
  virtual int ConvertLimit() const = 0;
  // The settings file's SpeedLimit text, as the user wrote it; empty: none.
  virtual std::string SpeedLimit() const = 0;

  // Button states while downloading is active: Stop on; Reset, Remove, Clear off.
  virtual void SetDownloadingButtons() = 0;
  virtual void RepaintList() = 0;
};

}  // namespace quillmarsh
