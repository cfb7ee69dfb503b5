#pragma once

#include "core/FetchOptions.h"

namespace tarnfetch {

class ControlFile;
class PartFile;
class ProgressReporter;
class StopFlag;

// One file's download, as the ways of fetching it share it: the ".part" and
// control file it goes to, the progress it reports, the run's options, and
// the flag that ends it soon when raised (none: only a failure ends it).
struct FileJob {
  PartFile& part;
  ControlFile& control;
  ProgressReporter& progress;
  const FetchOptions& options;
  const StopFlag* stop = nullptr;
};

}  // namespace tarnfetch
