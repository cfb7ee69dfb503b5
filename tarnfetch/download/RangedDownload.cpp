#include "download/RangedDownload.h"

#include <vector>

#include "core/FetchError.h"
#include "download/KeptSpans.h"
#include "download/PartBoard.h"
#include "files/ControlFile.h"
#include "files/PartFile.h"
#include "http/AnswerMessages.h"
#include "http/TransferEngine.h"
#include "report/ProgressReporter.h"

namespace tarnfetch {
namespace {

// Two parts per connection the plan may reach: a connection that finishes
// early takes another.
constexpr std::uint64_t kPartsPerConnection = 2;

}  // namespace

RangedDownload::Outcome RangedDownload::Run(const std::string& url, const Validators& probed,
                                            ConnectionPlan& plan, bool resume,
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

  // Gaps close together go as one range.
  const std::vector<Span> kept = KeptSpans(control_.Done(), length);
  PartBoard parts(kept, length, static_cast<std::uint64_t>(plan.Most()) * kPartsPerConnection);
  bool handedOut = false;
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
      stored = AnswerValidators(head, decision.length, probed.address);
      StoreValidators(control_, stored);
      control_.Save();
    }
    confirmed = true;
  };
  const auto source = [&]() -> std::optional<TransferRequest> {
    // The first answer shows whether the server sends parts at all.
    if (handedOut && !confirmed) return std::nullopt;
    PartBoard::Part* part = parts.Next(PartBoard::Clock::now());
    if (part == nullptr) return std::nullopt;
    handedOut = true;
    TransferRequest request;
    request.url = url;
    request.range = ByteRange{part->next, part->end - 1};
    request.end = &part->end;
    request.headers = headers;
    request.partOnly = true;
    // stored is read when each answer comes: empty until the first part.
    request.file = KnownFile{&probed, &stored, resume};
    request.onAnswer = onAnswer;
    request.sink = [this, part](std::uint64_t offset, const char* data, std::size_t size,
                                std::string* failure) {
      if (!part_.WriteAt(data, size, offset)) {
        *failure = part_.LastFailure();
        return false;
      }
      part->next = offset + size;
      control_.AddDone(offset, offset + size);
      control_.SaveIfDue();
      return true;
    };
    request.done = [part] { part->done = true; };
    return request;
  };

  TransferEngine engine(plan.Count(), options_);
  engine.Adapt(&plan);
  engine.SetStopFlag(stop_);
  progress_.Start(SpanBytes(kept), length);
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
