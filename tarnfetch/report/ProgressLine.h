#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace tarnfetch {

// The progress line of one file, printed at most four a second, that one
// download fills or several at once (a picture and its sound, each on a
// thread of its own), each as a piece of it. The percent counts all their
// bytes, what an earlier run left in their ".part" files included; the
// speed only this run's. No line is printed before every piece has begun,
// so that the first already counts what earlier runs left. Safe to use
// from several threads.
class ProgressLine {
 public:
  using Clock = std::chrono::steady_clock;

  // A download of `total` bytes (when known) into the file; returns its
  // number for Start and Update.
  std::size_t AddPiece(std::optional<std::uint64_t> total);
  // A new transfer of the piece: `resumedFrom` bytes were there before it
  // began.
  void Start(std::size_t piece, std::uint64_t resumedFrom, std::optional<std::uint64_t> total);
  // The piece's transfer has received `received` bytes so far.
  void Update(std::size_t piece, std::uint64_t received);
  // The file is complete in its final place: the one line that says 100.
  void Finish(std::uint64_t size);

 private:
  struct Piece {
    std::uint64_t resumedFrom = 0;
    std::uint64_t received = 0;
    std::optional<std::uint64_t> total;
    bool begun = false;
  };
  bool AllBegun() const;
  std::uint64_t Received() const;
  std::optional<double> Speed(bool final, Clock::time_point now) const;
  void Print(Clock::time_point now);

  std::mutex mutex_;
  std::vector<Piece> pieces_;
  Clock::time_point started_{};
  bool begun_ = false;
  Clock::time_point lastPrinted_{};
  bool printedAny_ = false;
  bool held_ = false;  // an update came before every piece had begun
};

}  // namespace tarnfetch
