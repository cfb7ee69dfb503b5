#include "extractor/ExtractedPlan.h"

namespace tarnfetch {

MediaPlan PlanOf(const ExtractorAnswer& answer) {
  MediaPlan plan{answer.title, {}, answer.list};
  for (const ExtractedFormat& format : answer.formats) {
    PlannedSource source;
    source.kind = format.IsStream() ? PlannedSource::Kind::Stream : PlannedSource::Kind::Unknown;
    source.url = format.url;
    source.headers = {format.headers, {}, format.headersOrigin};
    if (!format.playlist.empty()) source.playlist = format.playlist;
    source.manifestOnly = format.IsDash() && format.playlist.empty();
    source.extension = format.extension;
    source.size = format.size;
    source.videoCodec = format.videoCodec;
    source.audioCodec = format.audioCodec;
    plan.sources.push_back(std::move(source));
  }
  return plan;
}

}  // namespace tarnfetch
