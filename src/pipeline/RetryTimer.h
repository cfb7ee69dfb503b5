#pragma once
// Wakes the download scheduler when a mission that waits to be tried again
// is due. One single-shot timer, set for the earliest wait whenever a row
// begins or ends waiting; a waiting row holds no download slot. A due row
// whose last downloader has not ended yet waits a moment longer, so that
// two never write the same file. User-interface thread only.

#include <QObject>
#include <QTimer>

#include "missions/MissionHost.h"

namespace quillmarsh {

class RetryTimer : public QObject {
  Q_OBJECT
 public:
  explicit RetryTimer(MissionHost& host, QObject* parent = nullptr);

  // Sets the timer for the earliest waiting row, or stops it.
  void Rearm();

 private:
  // Lets the due rows wait as usual, then asks the scheduler for work.
  void Fire();

  MissionHost& host_;
  QTimer timer_;
};

}  // namespace quillmarsh
