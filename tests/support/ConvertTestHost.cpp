#include "support/ConvertTestHost.h"

#include <algorithm>

#include "app/pasUtils.h"
#include "convert/ConvertScheduler.h"
#include "convert/TConvertThread.h"
#include "missions/MissionStatus.h"

ConvertTestHost::ConvertTestHost() {
  pipeline.WorkerListsCreated = true;
}

void ConvertTestHost::StartConvert() {
  ++startConvertCalls;
  ::StartConvert(*this);
  for (TConvertThread* worker : pipeline.ConvertThreads)
    if (std::find(started.begin(), started.end(), worker) == started.end())
      started.emplace_back(worker);
}

bool ConvertTestHost::AllWorkersFreed() const {
  return std::all_of(started.begin(), started.end(),
                     [](const QPointer<TConvertThread>& w) { return w.isNull(); });
}

void ConvertTestHost::StopConversions() {
  pipeline.Stopping = true;
  for (auto it = pipeline.ConvertThreads.rbegin(); it != pipeline.ConvertThreads.rend(); ++it) {
    TConvertThread* worker = *it;
    worker->Detach();
    const int row = worker->MissionIndex;
    if (!missions.isValidRow(row)) continue;
    missions.setSubItem(row, SubSpeed, {});
    missions.setSubItem(row, SubEta, {});
    if (Contains(missions.status(row), Status::Converting))
      missions.setStatus(row, std::string(Status::WaitForConvert));
  }
  pipeline.ConvertThreads.clear();
  pipeline.RunningConverts = 0;
}

std::vector<std::string> ConvertTestHost::ReportsStartingWith(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& line : reports)
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  return found;
}
