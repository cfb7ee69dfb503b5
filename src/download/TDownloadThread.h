#pragma once
// One download: runs the downloader for one mission, hands each chunk of
// its console output to the user-interface thread and reads the markers
// there (title, file name, progress, skip, errors). Created, filled and
// started by StartWaitingDownloads; freed by its termination handler.

#include <optional>
#include <string>
#include <vector>

#include "download/DownloaderOutput.h"
#include "missions/MissionWorker.h"

namespace quillmarsh {

class TDownloadThread : public MissionWorker {
  Q_OBJECT
 public:
  // Passes of at most 500 ms and 500 bytes; benchmarks may pass others.
  explicit TDownloadThread(MissionHost& host, Options capture = DefaultCapture());
  static Options DefaultCapture();
  ~TDownloadThread() override;

  // Set by the scheduler before the start (the argument vector too).
  std::string Url;
  std::string CommandLine;  // the text the report shows; the child gets Arguments()

  // User-interface thread only.
  std::string Title;
  std::string FileName;

  // User-interface thread: interpret `Output` (one chunk).
  void ProcessOutput() override;
  void UpdateProgress(std::string_view progressLine);

  // Termination handler: takes the worker off DownloadThreads (if Stop has
  // not already) and frees it. Nothing may use the worker afterwards.
  static void DownloadThreadTerminate(WorkerThread* worker);

 protected:
  void AfterCapture() override;

 private:
  void InterpretLine(const std::string& line);
  // The list markers, read from whole lines however the chunks cut them.
  void ReadListLines(const std::string& chunk);
  // The address was a list: the row says so and the host gets its videos.
  void ListDone(const ListEnd& end);
  void Skip(const std::string& line);
  void Finish(bool started, const std::string& startError, std::optional<int> exitStatus);
  // The row failed (an error or crash line): it keeps "[Error in download]"
  // and `reason` to the end, whatever the downloader prints afterwards.
  void MarkFailed(std::string reason);
  // A passing fault: the row waits to be tried again later, without its
  // slot; once its tries are used up it fails as above.
  void WaitToTryAgain(std::string reason);
  std::string ReasonOf(const std::string& line) const;
  void CallStartDownload();

  std::string partialLine_;  // the end of the last chunk, short of a line break
  std::vector<ListedVideo> listed_;
  bool failed_ = false;
  bool waitsToTryAgain_ = false;
  bool passingInChunk_ = false;  // the chunk holds the try-later marker
  std::string reason_;
};

}  // namespace quillmarsh
