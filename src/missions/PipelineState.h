#pragma once
// Slot counters, worker lists and flags of the two pipelines. Owned by the
// main window; touched only on the user-interface thread.

#include <cstdint>
#include <string>
#include <vector>

namespace quillmarsh {

class TDownloadThread;
class TConvertThread;
class MissionWorker;

struct PipelineState {
  std::int32_t RunningDownloads = 0;
  std::int32_t RunningConverts = 0;
  bool Busy = false;
  bool Stopping = false;
  // False until start-up has created the worker lists (it stops early
  // when the downloader is missing); no worker starts before.
  bool WorkerListsCreated = false;
  std::vector<TDownloadThread*> DownloadThreads;
  std::vector<TConvertThread*> ConvertThreads;
  // Workers that Stop or Pause took off their list and whose thread has not
  // ended yet: their rows may not start again until they are gone.
  std::vector<MissionWorker*> EndingWorkers;
  // Where the conversions note their temporary files (empty: nowhere), so
  // that the next start removes what a crash left.
  std::string TemporaryJournal;
};

}  // namespace quillmarsh
