#pragma once
// One download: runs the downloader for one mission, hands each chunk of
// its console output to the user-interface thread and reads the markers
// there (title, file name, progress, skip, errors). Created, filled and
// started by StartDownload; freed by its termination handler.

#include <cstdint>
#include <string>

#include "missions/MissionHost.h"
#include "platform/ConsoleCaptureThread.h"

class TDownloadThread : public ConsoleCaptureThread {
 public:
  // Passes of at most 500 ms and 500 bytes; benchmarks may pass others.
  explicit TDownloadThread(MissionHost& host, Options capture = DefaultCapture());
  static Options DefaultCapture();
  ~TDownloadThread() override;

  // Set by StartDownload before the start (the argument vector too).
  std::int32_t MissionIndex = -1;
  std::string Url;
  std::string CommandLine;  // the text the report shows; the child gets Arguments()

  // User-interface thread only.
  using ConsoleCaptureThread::Output;  // the chunk being interpreted
  std::string Title;
  std::string FileName;
  bool HoldsSlot = false;  // the slot StartDownload took; released once only

  // Stop: ends the downloader, gives up the slot without counting it and
  // drops every later hand-over. User-interface thread.
  void Detach() override;

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
  void Skip(const std::string& line);
  void Finish(bool started, const std::string& startError);
  void MarkFailed();
  void ReleaseSlot();
  void CallStartDownload();
  bool RowValid() const;

  MissionHost& host_;
};
