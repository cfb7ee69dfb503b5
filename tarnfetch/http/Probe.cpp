#include "http/Probe.h"

#include <algorithm>

#include "core/BodyKind.h"
#include "core/FetchError.h"
#include "core/MediaType.h"
#include "http/AnswerMessages.h"
#include "http/HttpTransfer.h"
#include "http/Url.h"

namespace tarnfetch {
namespace {

struct ProbeState {
  HttpTransfer* transfer = nullptr;
  const ProbeRequest* request = nullptr;
  ProbeResult result;
  bool decided = false;
  bool failedStatus = false;
  bool unknownType = false;
  bool stopped = false;  // we ended the transfer on purpose
};

// Settles what the answer is, from its head, its address and its first
// bytes.
void Decide(ProbeState& state, std::string_view firstBytes) {
  state.decided = true;
  const ResponseHead& head = state.transfer->Head();
  ProbeResult& result = state.result;
  result.url = state.transfer->EffectiveUrl();
  result.contentType = head.contentType;
  // A packed answer's length is the packed one, not the file's.
  if (!head.Packed()) result.contentLength = head.contentLength;
  result.etag = head.etag;
  result.lastModified = head.lastModified;
  if (head.status < 200 || head.status > 299) {
    state.failedStatus = true;
    return;
  }
  const std::string extension = UrlFileExtension(result.url);
  switch (ClassifyBody({head.contentType, extension, state.request->declaredType, firstBytes,
                        state.request->vouchedMedia})) {
    case BodyKind::Media:
      result.kind = ProbeResult::Kind::Media;
      break;
    case BodyKind::Stream:
      result.kind = ProbeResult::Kind::Stream;
      break;
    case BodyKind::Page:
      result.kind = ProbeResult::Kind::Page;
      break;
    case BodyKind::Unknown:
      state.unknownType = true;
      break;
  }
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
  auto& state = *static_cast<ProbeState*>(self);
  if (!state.decided) Decide(state, std::string_view(data, size * count));
  if (state.failedStatus || state.unknownType || state.result.kind != ProbeResult::Kind::Page ||
      state.request->vouchedMedia) {
    state.stopped = true;
    return 0;
  }
  std::string& body = state.result.body;
  const std::size_t room = kMaxPageBytes - body.size();
  body.append(data, std::min(room, size * count));
  if (body.size() >= kMaxPageBytes) {
    state.stopped = true;
    return 0;
  }
  return size * count;
}

}  // namespace

ProbeResult Probe(const std::string& url, Deadline deadline, const FetchOptions& options,
                  const ProbeRequest& request) {
  HttpTransfer transfer(options);
  ProbeState state;
  state.transfer = &transfer;
  state.request = &request;
  transfer.SetBodyHandler(&OnBody, &state);
  transfer.SetDeadline(deadline);
  transfer.SetReferrerPage(request.referrerPage);
  transfer.SetHeaders(request.headers);
  // Pages may come compressed; libcurl unpacks them before OnBody counts.
  curl_easy_setopt(transfer.Handle(), CURLOPT_ACCEPT_ENCODING, "");

  const CURLcode code = transfer.Perform(url);
  if (code != CURLE_OK && !EndedWhole(code, transfer.Head(), state.stopped)) {
    throw FetchError(transfer.Describe(code, url));
  }
  if (!state.decided) Decide(state, {});  // an answer without a body
  if (transfer.Head().impossibleLength) throw FetchError(ImpossibleLength(state.result.url));
  if (state.failedStatus)
    throw FetchError(DescribeStatus(transfer.Head().status, state.result.url));
  if (state.unknownType) {
    throw FetchError("The address leads neither to a video nor to a web page (it is " +
                     BareContentType(state.result.contentType) + "): " + state.result.url);
  }
  return state.result;
}

}  // namespace tarnfetch
