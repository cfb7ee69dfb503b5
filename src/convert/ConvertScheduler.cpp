#include "convert/ConvertScheduler.h"

#include <cstdlib>
#include <string>

#include "convert/ConvertOptions.h"
#include "convert/FfmpegCommand.h"
#include "convert/FormatFit.h"
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

void StartWorker(MissionHost& host, int row, const std::string& file, const ConvertArgs& opts,
                 bool mayFit, const FormatNeeds& needs) {
  const char* path = std::getenv("PATH");
  const FfmpegCommand cmd =
      BuildFfmpegCommand(FindProgram("ffmpeg", host.ProgramDir(), path), file, opts.args, opts.ext);
  auto* worker = new TConvertThread(host);
  host.Pipeline().ConvertThreads.push_back(worker);
  worker->SetOnTerminate(&TConvertThread::ConvertThreadTerminate);
  worker->TakeSlot();
  worker->MissionIndex = row;
  worker->CommandLine = cmd.text;
  worker->SetArguments(cmd.argv);
  worker->OutputFile = cmd.outputFile;
  worker->TemporaryJournal = host.Pipeline().TemporaryJournal;
  // Without ffprobe nothing tells whether the file fits: it is converted.
  if (const std::string probe = FindProgram("ffprobe", host.ProgramDir(), path);
      mayFit && !probe.empty()) {
    worker->ProbeCommand = ProbeArguments(probe, file);
    worker->Needs = needs;
  }
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

    const ConvertArgs opts = GetConvertArgs(format, record.priority);
    const FormatNeeds needs = NeedsOf(opts.args);
    const bool sameExtension = LastFour(file) == CutBetween(format, "(", ")");
    if (sameExtension && !needs.ProbeDecides()) {
      // Audio and container-only formats: the extension says it all.
      missions.setStatus(row, std::string(Status::SkipFormatOk));
    } else if (!opts.found) {
      // Without an extension the output would be the downloaded file itself.
      missions.setFailed(row, Status::ErrorInConvert, "Unknown format: " + format);
      host.WriteReport("[Error] Unknown format: " + format);
    } else {
      // The same extension with a device's needs: the worker looks into
      // the file first, and skips it only when it already fits.
      StartWorker(host, row, file, opts, sameExtension, needs);
    }
    row = GetNextConvertUrl(missions);
  }
}

}  // namespace quillmarsh
