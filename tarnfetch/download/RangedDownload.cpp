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
  Validators stored = resume ? StoredValidators(job_.control) : Validators{};
  if (!resume) {
    job_.control.Clear();
    // Parts are written where they belong; the file grows sparse to its
    // length as they come.
    job_.part.StartOver();
    job_.control.Set("layout", "ranges");
  }
  // Only the rest of the same file; a server that changed it sends all.
  if (resume && !IfRangeValue(stored).empty()) {
    headers.push_back("If-Range: " + IfRangeValue(stored));
  }

  // Gaps close together go as one range.
  const std::vector<Span> kept = KeptSpans(job_.control.Done(), length);
  PartBoard parts(kept, length, static_cast<std::uint64_t>(plan.Most()) * kPartsPerConnection,
                  PartBoard::SlowFor());
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
      StoreValidators(job_.control, stored);
      job_.control.Save();
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
      if (!job_.part.WriteAt(data, size, offset)) {
        *failure = job_.part.LastFailure();
        return false;
      }
      part->next = offset + size;
      job_.control.AddDone(offset, offset + size);
      job_.control.SaveIfDue();
      return true;
    };
    request.done = [&parts, part] { parts.Finish(*part, PartBoard::Clock::now()); };
    return request;
  };

  TransferEngine engine(plan.Count(), job_.options);
  engine.Adapt(&plan);
  engine.SetStopFlag(job_.stop);
  job_.progress.Start(SpanBytes(kept), length);
  engine.OnProgress([this](std::uint64_t received) { job_.progress.Update(received); });
  // Also while no byte comes, so that a run killed during a stall keeps all
  // it received.
  engine.OnTick([this] { job_.control.SaveIfDue(); });
  try {
    engine.Run(source);
  } catch (const FetchError&) {
    try {
      job_.control.Save();  // what arrived stays usable for the next run
    } catch (const FetchError&) {
    }
    if (verdict != Outcome::Complete) return verdict;
    throw;
  }
  if (job_.control.DoneBytes() != length) {
    job_.control.Save();
    throw FetchError(StoppedEarly(job_.control.DoneBytes(), length, url));
  }
  return Outcome::Complete;
}

}  // namespace tarnfetch
