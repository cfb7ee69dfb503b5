#include "convert/ConvertScheduler.h"

#include <cstdlib>
#include <string>

#include "convert/ConvertOptions.h"
#include "convert/FfmpegCommand.h"
#include "convert/TConvertThread.h"
#include "missions/MissionStatus.h"
#include "shared/FindProgram.h"
#include "shared/Text.h"

namespace quillmarsh {

namespace {
bool WaitsForConvert(const std::string& status) {
  return status == Status::Downloaded || status == Status::SkipFileExists ||
         status == Status::WaitForConvert;
}

std::string LastFour(const std::string& text) {
  return text.size() <= 4 ? text : text.substr(text.size() - 4);
}

void StartWorker(MissionHost& host, int row, const std::string& ffmpeg, const std::string& file,
                 const ConvertArgs& opts) {
  auto* worker = new TConvertThread(host);
  const FfmpegCommand cmd = BuildFfmpegCommand(ffmpeg, file, opts.args, opts.ext, worker->Number());
  host.Pipeline().ConvertThreads.push_back(worker);
  worker->SetOnTerminate(&TConvertThread::ConvertThreadTerminate);
  worker->TakeSlot();
  worker->MissionIndex = row;
  worker->CommandLine = cmd.text;
  worker->SetArguments(cmd.argv);
  worker->OutputFile = cmd.outputFile;
  worker->TemporaryFile = cmd.temporaryFile;
  host.WriteReport("[Command Line]: " + cmd.text);
  host.WriteReport("[c-start] " + std::to_string(worker->Number()));
  worker->start(QThread::NormalPriority);
}
}  // namespace

int GetNextConvertUrl(const MissionModel& missions) {
  for (int row = 0; row < missions.count(); ++row) {
    if (WaitsForConvert(missions.status(row)) && missions.record(row).doConvert) return row;
  }
  return -1;
}

void StartWaitingConversions(MissionHost& host) {
  PipelineState& pipeline = host.Pipeline();
  if (!pipeline.WorkerListsCreated) return;
  MissionModel& missions = host.Missions();

  int row = GetNextConvertUrl(missions);
  while (row != -1 && pipeline.RunningConverts < host.ConvertLimit()) {
    missions.setStatus(row, std::string(Status::Converting));
    const TLsvData& record = missions.record(row);
    const std::string file = record.fileName;
    const std::string format = record.format;

    if (LastFour(file) == CutBetween(format, "(", ")")) {
      missions.setStatus(row, std::string(Status::SkipFormatOk));
    } else if (const ConvertArgs opts = GetConvertArgs(format, record.priority); !opts.found) {
      // Without an extension the output would be the downloaded file itself.
      missions.setFailed(row, Status::ErrorInConvert, "Unknown format: " + format);
      host.WriteReport("[Error] Unknown format: " + format);
    } else {
      const std::string ffmpeg = FindProgram("ffmpeg", host.ProgramDir(), std::getenv("PATH"));
      StartWorker(host, row, ffmpeg, file, opts);
    }
    row = GetNextConvertUrl(missions);
  }
}

}  // namespace quillmarsh
