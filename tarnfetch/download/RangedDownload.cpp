#include "download/RangedDownload.h"

#include <algorithm>
#include <vector>

#include "core/FetchError.h"
#include "files/ControlFile.h"
#include "files/PartFile.h"
#include "http/AnswerMessages.h"
#include "http/TransferEngine.h"
#include "report/ProgressReporter.h"

namespace tarnfetch {
namespace {

// Parts smaller than this cost more in requests than they gain.
constexpr std::uint64_t kMinPieceBytes = 1u << 20;
// Two parts per connection: a connection that finishes early takes another.
constexpr std::uint64_t kPiecesPerConnection = 2;

using Span = ControlFile::Span;

// What the control file does not hold yet, cut into parts.
std::vector<Span> MissingPieces(const std::vector<Span>& done, std::uint64_t length,
                                int connections) {
  std::vector<Span> missing;
  std::uint64_t at = 0;
  for (const auto& [first, end] : done) {
    if (first > at) missing.push_back({at, std::min(first, length)});
    at = std::max(at, end);
  }
  if (at < length) missing.push_back({at, length});
  std::uint64_t total = 0;
  for (const auto& [first, end] : missing) total += end - first;
  const std::uint64_t count = static_cast<std::uint64_t>(connections) * kPiecesPerConnection;
  const std::uint64_t size = std::max(kMinPieceBytes, (total + count - 1) / count);
  std::vector<Span> pieces;
  for (const auto& [first, end] : missing) {
    for (std::uint64_t from = first; from < end; from += size) {
      pieces.push_back({from, std::min(end, from + size)});
    }
  }
  return pieces;
}

}  // namespace

RangedDownload::Outcome RangedDownload::Run(const std::string& url, const Validators& probed,
                                            int connections, bool resume,
                                            std::vector<std::string> headers) {
  const std::uint64_t length = probed.length.value_or(0);
  Validators stored = resume ? StoredValidators(control_) : Validators{};
  if (!resume) {
    control_.Clear();
    // Parts are written where they belong; the file grows sparse to its
    // length as they come.
    part_.StartOver();
    control_.Set("layout", "ranges");
  }
  // Only the rest of the same file; a server that changed it sends all.
  if (resume && !IfRangeValue(stored).empty()) {
    headers.push_back("If-Range: " + IfRangeValue(stored));
  }

  const std::vector<Span> pieces = MissingPieces(control_.Done(), length, connections);
  std::size_t next = 0;
  bool confirmed = false;  // an answer was a part of the expected file
  Outcome verdict = Outcome::Complete;

  // The first answer that is a part of the file fixes which file the parts
  // come from.
  const auto onAnswer = [&](const AnswerDecision& decision, const ResponseHead& head) {
    using Kind = AnswerDecision::Kind;
    if (decision.kind == Kind::StartAgain) verdict = Outcome::StartAgain;
    if (decision.kind == Kind::WholeOnly) verdict = Outcome::NoRanges;
    if (decision.kind != Kind::Continue) return;
    if (!confirmed && !resume) {
      stored = AnswerValidators(head, decision.length);
      StoreValidators(control_, stored);
      control_.Save();
    }
    confirmed = true;
  };
  const auto sink = [this](std::uint64_t offset, const char* data, std::size_t size,
                           std::string* failure) {
    if (!part_.WriteAt(data, size, offset)) {
      *failure = part_.LastFailure();
      return false;
    }
    control_.AddDone(offset, offset + size);
    control_.SaveIfDue();
    return true;
  };
  const auto source = [&]() -> std::optional<TransferRequest> {
    // The first answer shows whether the server sends parts at all.
    if (next == pieces.size() || (next > 0 && !confirmed)) return std::nullopt;
    const Span piece = pieces[next++];
    TransferRequest request;
    request.url = url;
    request.range = ByteRange{piece.first, piece.second - 1};
    request.headers = headers;
    request.partOnly = true;
    // stored is read when each answer comes: empty until the first part.
    request.file = KnownFile{&probed, &stored, resume};
    request.onAnswer = onAnswer;
    request.sink = sink;
    return request;
  };

  TransferEngine engine(connections);
  engine.SetStopFlag(stop_);
  progress_.Start(control_.DoneBytes(), length);
  engine.OnProgress([this](std::uint64_t received) { progress_.Update(received); });
  // Also while no byte comes, so that a run killed during a stall keeps all
  // it received.
  engine.OnTick([this] { control_.SaveIfDue(); });
  try {
    engine.Run(source);
  } catch (const FetchError&) {
    try {
      control_.Save();  // what arrived stays usable for the next run
    } catch (const FetchError&) {
    }
    if (verdict != Outcome::Complete) return verdict;
    throw;
  }
  if (control_.DoneBytes() != length) {
    control_.Save();
    throw FetchError(StoppedEarly(control_.DoneBytes(), length, url));
  }
  return Outcome::Complete;
}

}  // namespace tarnfetch
