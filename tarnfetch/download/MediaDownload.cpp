#include "download/MediaDownload.h"

#include <ctime>

#include "core/FetchError.h"
#include "download/RangedDownload.h"
#include "files/ControlFile.h"
#include "files/HostMemory.h"
#include "files/OutputFolder.h"
#include "files/PartFile.h"
#include "http/AnswerCheck.h"
#include "http/AnswerMessages.h"
#include "http/ConnectionPlan.h"
#include "http/HttpTransfer.h"
#include "http/StreamHeaders.h"
#include "http/Url.h"
#include "report/Console.h"
#include "report/ProgressReporter.h"

namespace tarnfetch {
namespace {

constexpr const char* kLayout = "layout";
constexpr const char* kAppended = "appended";  // bytes 0 to the ".part"'s size
constexpr const char* kRanges = "ranges";      // the ranges the control file lists
constexpr const char* kCounted = "files";      // what HostMemory's counts are of

// One request's worth of state, shared with the libcurl callbacks.
struct AttemptState {
  HttpTransfer* transfer = nullptr;
  PartFile* part = nullptr;
  ControlFile* control = nullptr;
  ProgressReporter* progress = nullptr;
  const Validators* earlier = nullptr;  // the earlier run's, when continuing
  const Validators* probed = nullptr;
  std::uint64_t offset = 0;  // the ".part" size the request asked to continue from

  std::optional<std::uint64_t> expected;  // the complete file's size, when known
  std::uint64_t received = 0;
  bool began = false;
  bool startAgain = false;
  std::string failure;  // set when a callback had to stop the transfer
};

// Called once the final response's head is known: decides whether the body
// continues the ".part" file, replaces it, or cannot be used.
void Begin(AttemptState& state) {
  state.began = true;
  const ResponseHead& head = state.transfer->Head();
  const AnswerDecision decision =
      CheckAnswer(head, {state.offset, std::nullopt, false}, {state.probed, state.earlier, true},
                  state.transfer->EffectiveUrl());
  if (decision.kind == AnswerDecision::Kind::StartAgain) {
    state.startAgain = true;
    return;
  }
  if (!decision.Taken()) {
    state.failure = decision.message;
    return;
  }
  const std::optional<std::uint64_t>& length = decision.length;
  const bool append = decision.kind == AnswerDecision::Kind::Continue && state.offset > 0;
  state.expected = length ? length : state.probed->length;

  if (append) {
    state.part->Continue();
  } else {
    state.part->StartOver();
    state.control->Clear();
    state.control->Set(kLayout, kAppended);
    StoreValidators(*state.control, AnswerValidators(head, length, state.probed->address));
    state.control->Save();
  }
  state.progress->Start(append ? state.offset : 0, state.expected);
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
  auto& state = *static_cast<AttemptState*>(self);
  const std::size_t bytes = size * count;
  try {
    if (!state.began) Begin(state);
  } catch (const FetchError& failure) {
    state.failure = failure.what();
  }
  if (state.startAgain || !state.failure.empty()) return 0;
  if (!state.part->Write(data, bytes)) {
    state.failure = state.part->LastFailure();
    return 0;
  }
  state.received += bytes;
  state.progress->Update(state.received);
  return bytes;
}

}  // namespace

std::uint64_t MediaDownload::Run(const std::string& url, const Validators& probed) {
  PartFile part(folder_, name_);
  ControlFile control(folder_, name_);
  // Only a ".part" with our control file, of the file the server sends
  // now, is continued.
  const bool ours = control.Load() && SameFile(StoredValidators(control), probed);
  std::string layout = ours ? control.Get(kLayout).value_or("") : "";
  // Recorded parts that the ".part" no longer reaches were lost with it.
  if (layout == kRanges && !control.Done().empty() && part.Size() < control.Done().back().second) {
    layout.clear();
  }
  const Validators earlier = StoredValidators(control);

  const bool adaptive = connections_ == kAdaptive;
  const bool large = probed.length && *probed.length >= kMinRangedBytes;
  bool done = false;
  if (probed.length && *probed.length > 0 &&
      (layout == kRanges || (large && (adaptive || connections_ > 1) && layout != kAppended))) {
    // The remembered count is read only for a file fetched in parts.
    const HostMemory memory(adaptive ? HostMemory::DefaultFile() : std::filesystem::path());
    const std::string server = ServerName(url);
    const std::int64_t now = std::time(nullptr);
    ConnectionPlan plan =
        adaptive ? ConnectionPlan::Adaptive(
                       memory.Recall(kCounted, server, now).value_or(kFirstConnections),
                       ConnectionPlan::Measure::Bytes)
                 : ConnectionPlan::Fixed(connections_);
    RangedDownload ranged(part, control, progress_);
    ranged.SetStopFlag(stop_);
    // libcurl follows the parts' redirects with these: the Referer says
    // the page's origin only.
    const std::vector<std::string> headers = StreamHeaders{headers_, referrerPage_, {}}.For(url);
    auto outcome = ranged.Run(url, probed, plan, layout == kRanges, headers);
    if (outcome == RangedDownload::Outcome::StartAgain) {
      outcome = ranged.Run(url, probed, plan, false, headers);
    }
    if (outcome == RangedDownload::Outcome::StartAgain) {
      throw FetchError(KeepsChanging(url));
    }
    done = outcome == RangedDownload::Outcome::Complete;
    if (done) {
      if (adaptive) memory.Remember(kCounted, server, plan.Count(), now);
      console::Connections(plan.Count());
    }
  }
  // A run killed after the last byte: nothing left to ask for.
  if (layout == kAppended && probed.length && *probed.length > 0 && part.Size() == *probed.length) {
    progress_.Start(part.Size(), probed.length);
    done = true;
  }
  if (!done) {
    std::uint64_t offset = layout == kAppended ? part.Size() : 0;
    // A ".part" larger than the whole file cannot be continued.
    if (probed.length && offset > *probed.length) offset = 0;
    if (Attempt(part, control, url, offset, offset > 0 ? &earlier : nullptr, probed) ==
            Outcome::StartAgain &&
        Attempt(part, control, url, 0, nullptr, probed) == Outcome::StartAgain) {
      throw FetchError(KeepsChanging(url));
    }
  }
  const std::uint64_t size = part.Size();
  if (keepPart_) {
    control.Save();
    return size;
  }
  // Without its control file a complete ".part" is merely started again.
  control.Remove();
  part.MoveTo(name_);
  return size;
}

MediaDownload::Outcome MediaDownload::Attempt(PartFile& part, ControlFile& control,
                                              const std::string& url, std::uint64_t offset,
                                              const Validators* earlier, const Validators& probed) {
  HttpTransfer transfer;
  AttemptState state;
  state.transfer = &transfer;
  state.part = &part;
  state.control = &control;
  state.progress = &progress_;
  state.earlier = earlier;
  state.probed = &probed;
  state.offset = offset;

  CURL* curl = transfer.Handle();
  transfer.SetBodyHandler(&OnBody, &state);
  transfer.SetReferrerPage(referrerPage_);
  transfer.SetStopFlag(stop_);
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kBufferBytes);
  const std::string range = std::to_string(offset) + "-";
  if (offset > 0) curl_easy_setopt(curl, CURLOPT_RANGE, range.c_str());
  // The server sends the rest only if the file is still the one we began.
  const std::string ifRange = earlier ? IfRangeValue(*earlier) : "";
  std::vector<std::string> headers = headers_;
  if (offset > 0 && !ifRange.empty()) headers.push_back("If-Range: " + ifRange);
  transfer.SetHeaders(std::move(headers));
  const CURLcode code = transfer.Perform(url);

  if (code == CURLE_OK && !state.began) {
    try {
      Begin(state);  // an answer without a body
    } catch (const FetchError& failure) {
      state.failure = failure.what();
    }
  }
  if (state.startAgain) return Outcome::StartAgain;
  if (!state.failure.empty()) throw FetchError(state.failure);
  if (code != CURLE_OK) throw FetchError(transfer.Describe(code, url));

  const std::uint64_t size = part.Size();
  if (state.expected && size != *state.expected) {
    throw FetchError(StoppedEarly(size, *state.expected, url));
  }
  if (size == 0) throw FetchError(EmptyFile(url));
  return Outcome::Complete;
}

}  // namespace tarnfetch
