#include "report/StreamProgress.h"

#include <optional>

#include "report/Console.h"
#include "report/Units.h"

namespace tarnfetch {
namespace {

constexpr auto kMinInterval = std::chrono::milliseconds(250);

}  // namespace

StreamProgress::StreamProgress(double totalSeconds, std::size_t segments)
    : totalSeconds_(totalSeconds), segments_(segments) {}

void StreamProgress::Update(double doneSeconds, std::size_t doneSegments, std::uint64_t bytes,
                            std::uint64_t received) {
  received_ = received;
  const auto now = Clock::now();
  if (printedAny_ && now - lastPrinted_ < kMinInterval) return;
  lastPrinted_ = now;
  printedAny_ = true;

  // Milliseconds of playing time, or segments, as whole numbers.
  const bool byTime = totalSeconds_ > 0;
  const auto done = static_cast<std::uint64_t>(byTime ? doneSeconds * 1000 : doneSegments);
  const auto total = static_cast<std::uint64_t>(byTime ? totalSeconds_ * 1000 : segments_);
  const double share = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 0;

  std::optional<std::uint64_t> estimate;
  if (share > 0) estimate = static_cast<std::uint64_t>(static_cast<double>(bytes) / share);
  const std::chrono::duration<double> elapsed = now - started_;
  std::optional<double> speed;
  if (elapsed.count() > 0.05 && received > 0)
    speed = static_cast<double>(received) / elapsed.count();
  std::optional<double> eta;
  if (speed && estimate && *estimate >= bytes)
    eta = static_cast<double>(*estimate - bytes) / *speed;
  console::Progress(FormatPercent(done, total), FormatSize(estimate), FormatSpeed(speed),
                    FormatEta(eta));
}

void StreamProgress::Finish(std::uint64_t size) {
  const std::chrono::duration<double> elapsed = Clock::now() - started_;
  std::optional<double> speed;
  if (elapsed.count() > 0 && received_ > 0)
    speed = static_cast<double>(received_) / elapsed.count();
  console::Progress("100.0", FormatSize(size), FormatSpeed(speed), FormatEta(0.0));
}

}  // namespace tarnfetch
