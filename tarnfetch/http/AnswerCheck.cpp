#include "http/AnswerCheck.h"

#include "core/MediaType.h"
#include "http/AnswerMessages.h"
#include "http/ContentRange.h"
#include "http/HttpTransfer.h"

namespace tarnfetch {
namespace {

using Kind = AnswerDecision::Kind;

AnswerDecision Take(Kind kind, std::optional<std::uint64_t> length) {
  return {kind, length, false, {}};
}

AnswerDecision Refuse(Kind kind, std::string message, bool retry = false) {
  return {kind, std::nullopt, retry, std::move(message)};
}

bool KeptAny(const KnownFile& file) {
  const Validators* kept = file.kept;
  return kept != nullptr && (kept->length || !kept->etag.empty() || !kept->lastModified.empty());
}

// Status and Content-Range: which bytes the body holds.
AnswerDecision ReadStatus(const ResponseHead& head, const AnswerAsked& asked, const KnownFile& file,
                          const std::string& url) {
  const auto range = ParseContentRange(head.contentRange);
  if (head.status == 206) {
    if (!range || range->first != asked.from) {
      // A ".part" continued from its end can start again; a part cannot.
      const bool again = asked.from > 0 && !asked.partOnly;
      return Refuse(again ? Kind::StartAgain : Kind::Fail, PartNotAskedFor(url));
    }
    // Asked for all from `from`: a part that ends before the whole does
    // would be taken for all of it.
    if (!asked.range && range->completeLength && *range->last + 1 < *range->completeLength) {
      return Refuse(Kind::Fail, PartOfTheAnswer(url), true);
    }
    std::optional<std::uint64_t> length = range->completeLength;
    // Asked up to the end: the rest's length tells the whole one.
    const bool toEnd = !asked.range || !asked.range->last;
    if (!length && toEnd && head.contentLength) length = asked.from + *head.contentLength;
    return Take(Kind::Continue, length);
  }
  // Nothing left to send after a video's ".part": fine if it is the whole
  // file (a 416 carries only the length).
  if (head.status == 416 && asked.from > 0 && file.probed != nullptr && !asked.partOnly) {
    if (!range || range->completeLength != asked.from) {
      return Refuse(Kind::StartAgain, FileChanged(url));
    }
    return Take(Kind::Continue, asked.from);
  }
  if (head.status < 200 || head.status > 299) {
    return Refuse(Kind::Fail, DescribeStatus(head.status, url), true);
  }
  // A ".part" fetched in parts by an earlier run, now from a server that
  // sends whole files only, is fetched again over one connection.
  if (asked.partOnly && file.keptFromEarlierRun && KeptAny(file)) {
    return Refuse(Kind::StartAgain, PartsStopped(url));
  }
  // The whole file, though a part was asked for.
  if (asked.range && asked.range->first > 0) return Refuse(Kind::Fail, NoPartsSent(url));
  if (asked.partOnly) {
    return Refuse(KeptAny(file) ? Kind::StartAgain : Kind::WholeOnly, PartsStopped(url));
  }
  return Take(Kind::FromStart, head.contentLength);
}

}  // namespace

AnswerDecision CheckAnswer(const ResponseHead& head, const AnswerAsked& asked,
                           const KnownFile& file, const std::string& url) {
  if (head.impossibleLength) return Refuse(Kind::Fail, ImpossibleLength(url));
  const AnswerDecision decision = ReadStatus(head, asked, file, url);
  if (!decision.Taken()) return decision;
  // Unasked packing would be written as it came, packed.
  if (!asked.packed && head.Packed()) {
    return Refuse(Kind::Fail, PackedUnasked(head.contentEncoding, url));
  }
  if (file.probed == nullptr) {
    // Static servers call a segment type they do not know text/plain.
    const bool plain = BareContentType(head.contentType) == "text/plain";
    if (file.media && IsTextualContentType(head.contentType) && !plain) {
      return Refuse(Kind::Fail, TextInsteadOfVideo(head.contentType, url));
    }
    return decision;
  }

  // Bytes that go after kept ones must be of the same file.
  const Validators answer = AnswerValidators(head, decision.length);
  const bool changed = decision.kind == Kind::Continue && (asked.from > 0 || KeptAny(file)) &&
                       !SameFile(file.kept != nullptr ? *file.kept : Validators{}, answer);
  if (changed && file.keptFromEarlierRun) return Refuse(Kind::StartAgain, FileChanged(url));
  if (head.status != 416 && IsTextualContentType(head.contentType) &&
      BareContentType(head.contentType) != file.probed->mediaSentAsText) {
    return Refuse(Kind::Fail, TextInsteadOfVideo(head.contentType, url));
  }
  if (decision.length == 0u) return Refuse(Kind::Fail, EmptyFile(url));
  // A part must say the whole length, to be written where it belongs.
  const std::optional<std::uint64_t>& probed = file.probed->length;
  if (probed && (decision.length ? *decision.length != *probed : asked.partOnly)) {
    return Refuse(Kind::Fail, LengthChanged(*probed, decision.length, url));
  }
  if (changed) return Refuse(Kind::Fail, KeepsChanging(url));
  return decision;
}

}  // namespace tarnfetch
