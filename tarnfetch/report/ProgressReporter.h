#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "report/ProgressLine.h"

namespace tarnfetch {

// What one download reports its progress through: a line of its own, or a
// piece of a line that other downloads running at once share.
class ProgressReporter {
 public:
  ProgressReporter() : own_(std::make_unique<ProgressLine>()), line_(*own_) {
    piece_ = line_.AddPiece(std::nullopt);
  }
  // A piece of `line` (which must outlive it), `total` bytes when known.
  ProgressReporter(ProgressLine& line, std::optional<std::uint64_t> total)
      : line_(line), piece_(line.AddPiece(total)) {}

  // A new transfer: `resumedFrom` bytes were there before it began.
  void Start(std::uint64_t resumedFrom, std::optional<std::uint64_t> total) {
    line_.Start(piece_, resumedFrom, total);
  }
  // This transfer has received `received` bytes so far.
  void Update(std::uint64_t received) { line_.Update(piece_, received); }
  // The file is complete in its final place: the one line that says 100.
  void Finish(std::uint64_t size) { line_.Finish(size); }

 private:
  std::unique_ptr<ProgressLine> own_;
  ProgressLine& line_;
  std::size_t piece_ = 0;
};

}  // namespace tarnfetch
