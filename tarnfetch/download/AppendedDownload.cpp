#include "download/AppendedDownload.h"

#include "core/FetchError.h"
#include "files/ControlFile.h"
#include "files/PartFile.h"
#include "http/AnswerMessages.h"
#include "http/TransferEngine.h"
#include "report/ProgressReporter.h"

namespace tarnfetch {

AppendedDownload::Outcome AppendedDownload::Run(const std::string& url, const Validators& probed,
                                                std::uint64_t offset, const Validators& earlier,
                                                const std::string& referrerPage,
                                                std::vector<std::string> headers) {
  // The server sends the rest only if the file is still the one we began.
  if (offset > 0 && !IfRangeValue(earlier).empty()) {
    headers.push_back("If-Range: " + IfRangeValue(earlier));
  }
  Validators kept = offset > 0 ? earlier : Validators{};
  std::optional<std::uint64_t> expected = probed.length;
  std::uint64_t base = 0;  // the bytes there before this transfer began
  bool answered = false;
  bool startAgain = false;

  TransferRequest request;
  request.url = url;
  request.resumeFrom = offset;
  request.headers = std::move(headers);
  request.referrerPage = referrerPage;
  // kept is read at each answer: a file that changes between attempts is
  // started again, as one changed since an earlier run.
  request.file = KnownFile{&probed, &kept, true};
  request.onAnswer = [&](const AnswerDecision& decision, const ResponseHead& head) {
    using Kind = AnswerDecision::Kind;
    startAgain = decision.kind == Kind::StartAgain;
    if (!decision.Taken()) return;
    if (decision.length) expected = decision.length;
    if (decision.kind == Kind::FromStart) {
      job_.part.StartOver();
      job_.control.Clear();
      job_.control.Set("layout", "appended");
      kept = AnswerValidators(head, decision.length, probed.address);
      StoreValidators(job_.control, kept);
      job_.control.Save();
      base = 0;
      job_.progress.Start(0, expected);
    } else if (!answered) {
      base = offset;
      job_.progress.Start(offset, expected);
    }
    answered = true;
  };
  request.sink = [this, &base](std::uint64_t at, const char* data, std::size_t size,
                               std::string* failure) {
    if (!job_.part.WriteAt(data, size, at)) {
      *failure = job_.part.LastFailure();
      return false;
    }
    job_.progress.Update(at + size - base);
    return true;
  };

  TransferEngine engine(1, job_.options);
  engine.SetStopFlag(job_.stop);
  bool given = false;
  try {
    engine.Run([&]() -> std::optional<TransferRequest> {
      if (given) return std::nullopt;
      given = true;
      return std::move(request);
    });
  } catch (const FetchError&) {
    if (startAgain) return Outcome::StartAgain;
    throw;
  }
  const std::uint64_t size = job_.part.Size();
  if (expected && size != *expected) throw FetchError(StoppedEarly(size, *expected, url));
  if (size == 0) throw FetchError(EmptyFile(url));
  return Outcome::Complete;
}

}  // namespace tarnfetch
