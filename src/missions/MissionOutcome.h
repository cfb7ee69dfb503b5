#pragma once
// What a status means to a user waiting for the mission: done, failed, or
// not at an end yet.

#include <string_view>

#include "missions/MissionStatus.h"

namespace quillmarsh {

enum class Outcome { None, Finished, Failed };

// Finished: converted (or already in the wanted format), or downloaded
// when no conversion was asked for. Failed: either error status.
inline Outcome OutcomeOf(std::string_view status, bool doConvert) {
  if (status == Status::ErrorInDownload || status == Status::ErrorInConvert) return Outcome::Failed;
  if (status == Status::Converted || status == Status::SkipFormatOk) return Outcome::Finished;
  if (status == Status::Downloaded && !doConvert) return Outcome::Finished;
  return Outcome::None;
}

}  // namespace quillmarsh
