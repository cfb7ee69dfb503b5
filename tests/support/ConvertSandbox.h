#pragma once
// A folder for one conversion test: an application folder whose "ffmpeg"
// links to the program under test, the downloaded files, a host whose
// StartConvert runs the real scheduler and whose report keeps every line,
// and a record of every status text and percentage each row showed.

#include <QObject>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "convert/TConvertThread.h"
#include "support/TempDir.h"
#include "support/TestHost.h"

namespace quillmarsh {

class ConvertSandbox {
 public:
  // `ffmpeg`: the program linked as the application folder's "ffmpeg"; empty
  // leaves the folder without one.
  explicit ConvertSandbox(const std::string& ffmpeg);
  ~ConvertSandbox();
  ConvertSandbox(const ConvertSandbox&) = delete;
  ConvertSandbox& operator=(const ConvertSandbox&) = delete;

  std::string file(const std::string& name) const { return dir_.file(name); }
  std::string appDir() const { return dir_.file("app") + "/"; }

  // Appends a mission whose downloaded file is `fileName` (absolute, or as given).
  int AddMission(const std::string& fileName, const std::string& format,
                 const std::string& status = "[Downloaded]", bool doConvert = true,
                 const std::string& priority = "Both");

  // Runs the event loop until no worker is listed and every started one
  // (and every one given to host.Track) has been freed. False on time-out.
  bool RunUntilIdle(std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    return host.WaitForIdle(timeout);
  }

  // Every distinct status text the row showed, in order.
  const std::vector<std::string>& Statuses(int row) { return statuses_[row]; }
  // Every distinct record progress the row showed, in order.
  const std::vector<int>& Percents(int row) { return percents_[row]; }
  // Highest RunningConverts seen at any change of the list.
  int MaxRunning() const { return maxRunning_; }

  TestHost host;

 private:
  void Record(int first, int last);

  TempDir dir_;
  std::map<int, std::vector<std::string>> statuses_;
  std::map<int, std::vector<int>> percents_;
  int maxRunning_ = 0;
  QMetaObject::Connection connection_;
};

// Fails the test unless every "[Command Line]: " line is directly followed by
// a "[c-start] " line and every started number has exactly one "[c-end] ".
void ExpectStartEndPairs(const std::vector<std::string>& reports);

}  // namespace quillmarsh
