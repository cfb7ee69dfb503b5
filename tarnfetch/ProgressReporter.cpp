#include "ProgressReporter.h"

#include "Console.h"
#include "Units.h"

namespace tarnfetch {
namespace {

constexpr auto kMinInterval = std::chrono::milliseconds(250);

}  // namespace

void ProgressReporter::Start(std::uint64_t resumedFrom, std::optional<std::uint64_t> total) {
  resumedFrom_ = before_ + resumedFrom;
  received_ = 0;
  total_ = spanning_ ? whole_ : total;
  started_ = Clock::now();
}

void ProgressReporter::Update(std::uint64_t received) {
  received_ = received;
  const auto now = Clock::now();
  if (printedAny_ && now - lastPrinted_ < kMinInterval) return;
  lastPrinted_ = now;
  printedAny_ = true;
  Print(received);
}

void ProgressReporter::Finish(std::uint64_t size) {
  console::Progress("100.0", FormatSize(size), FormatSpeed(Speed(true)), FormatEta(0.0));
}

std::optional<double> ProgressReporter::Speed(bool final) const {
  const std::chrono::duration<double> elapsed = Clock::now() - started_;
  // Early figures swing wildly; wait a moment unless the transfer is over.
  if (elapsed.count() <= (final ? 0.0 : 0.05) || received_ == 0) return std::nullopt;
  return static_cast<double>(received_) / elapsed.count();
}

void ProgressReporter::Print(std::uint64_t received) {
  const std::uint64_t have = resumedFrom_ + received;
  const auto speed = Speed(false);
  std::optional<double> eta;
  if (speed && total_ && *total_ >= have) eta = static_cast<double>(*total_ - have) / *speed;
  console::Progress(FormatPercent(have, total_), FormatSize(total_), FormatSpeed(speed),
                    FormatEta(eta));
}

}  // namespace tarnfetch
