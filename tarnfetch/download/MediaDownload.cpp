#include "download/MediaDownload.h"

#include <algorithm>
#include <ctime>

#include "core/FetchError.h"
#include "download/AppendedDownload.h"
#include "download/LeadingBytes.h"
#include "download/RangedDownload.h"
#include "files/ControlFile.h"
#include "files/HostMemory.h"
#include "files/OutputFolder.h"
#include "files/PartFile.h"
#include "http/AnswerMessages.h"
#include "http/ConnectionPlan.h"
#include "http/StreamHeaders.h"
#include "http/TransferEngine.h"
#include "http/Url.h"
#include "report/Console.h"
#include "report/ProgressReporter.h"

namespace tarnfetch {
namespace {

constexpr const char* kLayout = "layout";
constexpr const char* kAppended = "appended";  // bytes 0 to the ".part"'s size
constexpr const char* kRanges = "ranges";      // the ranges the control file lists
constexpr const char* kCounted = "files";      // what HostMemory's counts are of

}  // namespace

// Addresses are compared without their query (tokens rotate), so two files
// that differ only there may share length and validators, or have none:
// the first bytes the ".part" holds must be what the server sends there
// now. A server whose answer is refused for good (another file, no range,
// a length of its own) has not shown it.
bool MediaDownload::SameFirstBytes(PartFile& part, const Span& kept, const std::string& url,
                                   const Validators& probed, const Validators& earlier) {
  const std::size_t count =
      static_cast<std::size_t>(std::min<std::uint64_t>(kComparedBytes, kept.second - kept.first));
  TransferRequest request;
  request.url = url;
  request.range = ByteRange{kept.first, kept.first + count - 1};
  request.partOnly = kept.first > 0;
  request.headers = headers_;
  request.referrerPage = referrerPage_;
  request.file = KnownFile{&probed, &earlier, true};
  // Why the answer was refused, if it was.
  std::optional<AnswerDecision> refused;
  request.onAnswer = [&refused](const AnswerDecision& decision, const ResponseHead&) {
    refused.reset();
    if (!decision.Taken()) refused = decision;
  };
  try {
    return FetchLeadingBytes(std::move(request), count, options_, stop_) ==
           part.ReadAt(kept.first, count);
  } catch (const FetchError&) {
    // No answer, or a busy server's, says nothing about the file.
    if (refused && !refused->retry) return false;
    throw;
  }
}

// True when the file came complete in parts; false when the server sends
// whole files only.
bool MediaDownload::RunInParts(PartFile& part, ControlFile& control, const std::string& url,
                               const Validators& probed, bool resume) {
  const bool adaptive = options_.connections == FetchOptions::kAdaptive;
  // The remembered count is read only for a file fetched in parts.
  const HostMemory memory(adaptive ? HostMemory::DefaultFile() : std::filesystem::path());
  const std::string server = ServerName(url);
  const std::int64_t now = std::time(nullptr);
  ConnectionPlan plan =
      adaptive ? ConnectionPlan::Adaptive(
                     memory.Recall(kCounted, server, now).value_or(ConnectionPlan::kFirst),
                     ConnectionPlan::Measure::Bytes)
               : ConnectionPlan::Fixed(options_.connections);
  const bool limited = options_.rateLimit != nullptr;
  if (limited) plan.Hold();
  RangedDownload ranged({part, control, progress_, options_, stop_});
  // libcurl follows the parts' redirects with these: the Referer says
  // the page's origin only.
  const std::vector<std::string> headers = StreamHeaders{headers_, referrerPage_, {}}.For(url);
  auto outcome = ranged.Run(url, probed, plan, resume, headers);
  if (outcome == RangedDownload::Outcome::StartAgain) {
    outcome = ranged.Run(url, probed, plan, false, headers);
  }
  if (outcome == RangedDownload::Outcome::StartAgain) throw FetchError(KeepsChanging(url));
  if (outcome != RangedDownload::Outcome::Complete) return false;
  // A held count says nothing about what the server could do.
  if (adaptive && !limited) memory.Remember(kCounted, server, plan.Count(), now);
  console::Connections(plan.Count());
  return true;
}

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
  if (!layout.empty()) {
    Span kept{0, part.Size()};
    if (layout == kRanges) kept = control.Done().empty() ? Span{} : control.Done().front();
    if (probed.length) kept.second = std::min(kept.second, *probed.length);
    if (kept.first < kept.second && !SameFirstBytes(part, kept, url, probed, earlier)) {
      layout.clear();
    }
  }

  const int connections = options_.connections;
  const bool large = probed.length && *probed.length >= kMinRangedBytes;
  bool done = false;
  if (probed.length && *probed.length > 0 &&
      (layout == kRanges || (large && (connections == FetchOptions::kAdaptive || connections > 1) &&
                             layout != kAppended))) {
    done = RunInParts(part, control, url, probed, layout == kRanges);
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
    AppendedDownload appended({part, control, progress_, options_, stop_});
    using Outcome = AppendedDownload::Outcome;
    if (appended.Run(url, probed, offset, earlier, referrerPage_, headers_) ==
            Outcome::StartAgain &&
        appended.Run(url, probed, 0, {}, referrerPage_, headers_) == Outcome::StartAgain) {
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

}  // namespace tarnfetch
