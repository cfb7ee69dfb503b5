#include "report/ProgressLine.h"

#include "report/Console.h"
#include "report/Units.h"

namespace tarnfetch {
namespace {

constexpr auto kMinInterval = std::chrono::milliseconds(250);

}  // namespace

std::size_t ProgressLine::AddPiece(std::optional<std::uint64_t> total) {
  const std::lock_guard lock(mutex_);
  pieces_.push_back({0, 0, total, false});
  return pieces_.size() - 1;
}

void ProgressLine::Start(std::size_t piece, std::uint64_t resumedFrom,
                         std::optional<std::uint64_t> total) {
  const std::lock_guard lock(mutex_);
  Piece& p = pieces_.at(piece);
  p.resumedFrom = resumedFrom;
  p.received = 0;
  if (total) p.total = total;
  p.begun = true;
  // One download's speed is its current transfer's; pieces running at once
  // count from the first.
  const auto now = Clock::now();
  if (!begun_ || pieces_.size() == 1) started_ = now;
  begun_ = true;
  // Bytes of the pieces that began first were held back until now.
  if (held_ && AllBegun()) {
    held_ = false;
    lastPrinted_ = now;
    printedAny_ = true;
    Print(now);
  }
}

void ProgressLine::Update(std::size_t piece, std::uint64_t received) {
  const std::lock_guard lock(mutex_);
  pieces_.at(piece).received = received;
  if (!AllBegun()) {
    held_ = true;
    return;
  }
  const auto now = Clock::now();
  if (printedAny_ && now - lastPrinted_ < kMinInterval) return;
  lastPrinted_ = now;
  printedAny_ = true;
  Print(now);
}

void ProgressLine::Finish(std::uint64_t size) {
  const std::lock_guard lock(mutex_);
  console::Progress("100.0", FormatSize(size), FormatSpeed(Speed(true, Clock::now())),
                    FormatEta(0.0));
}

bool ProgressLine::AllBegun() const {
  for (const Piece& piece : pieces_) {
    if (!piece.begun) return false;
  }
  return true;
}

std::uint64_t ProgressLine::Received() const {
  std::uint64_t received = 0;
  for (const Piece& piece : pieces_) received += piece.received;
  return received;
}

std::optional<double> ProgressLine::Speed(bool final, Clock::time_point now) const {
  const std::chrono::duration<double> elapsed = now - started_;
  const std::uint64_t received = Received();
  // Early figures swing wildly; wait a moment unless the transfer is over.
  if (elapsed.count() <= (final ? 0.0 : 0.05) || received == 0) return std::nullopt;
  return static_cast<double>(received) / elapsed.count();
}

void ProgressLine::Print(Clock::time_point now) {
  std::uint64_t have = 0;
  std::optional<std::uint64_t> total = 0;
  for (const Piece& piece : pieces_) {
    have += piece.resumedFrom + piece.received;
    total = total && piece.total ? std::optional(*total + *piece.total) : std::nullopt;
  }
  const auto speed = Speed(false, now);
  std::optional<double> eta;
  if (speed && total && *total >= have) eta = static_cast<double>(*total - have) / *speed;
  console::Progress(FormatPercent(have, total), FormatSize(total), FormatSpeed(speed),
                    FormatEta(eta));
}

}  // namespace tarnfetch
