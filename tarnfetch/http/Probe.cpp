#include "http/Probe.h"

#include <algorithm>

#include "core/FetchError.h"
#include "core/MediaType.h"
#include "http/AnswerMessages.h"
#include "http/HttpTransfer.h"
#include "http/Url.h"

namespace tarnfetch {
namespace {

struct ProbeState {
  HttpTransfer* transfer = nullptr;
  ProbeResult result;
  bool decided = false;
  bool failedStatus = false;
  bool unknownType = false;
  bool stopped = false;  // we ended the transfer on purpose
  bool vouchedMedia = false;
};

// Settles what the answer is, from its head and its address.
void Decide(ProbeState& state) {
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
  // A missing or generic type says nothing; then a media extension in the
  // address decides. Text is never media.
  const std::string bare = BareContentType(head.contentType);
  if (IsStreamContentType(bare) ||
      (IsStreamExtension(UrlFileExtension(result.url)) && !IsPageContentType(bare))) {
    result.kind = ProbeResult::Kind::Stream;
  } else if (IsMediaContentType(bare) ||
             (!IsTextualContentType(bare) && IsMediaExtension(UrlFileExtension(result.url)))) {
    result.kind = ProbeResult::Kind::Media;
  } else if (IsPageContentType(bare) || (bare.empty() && !state.vouchedMedia) ||
             bare.rfind("text/", 0) == 0) {
    result.kind = ProbeResult::Kind::Page;
  } else if (state.vouchedMedia) {
    result.kind = ProbeResult::Kind::Media;
  } else {
    state.unknownType = true;
  }
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
  auto& state = *static_cast<ProbeState*>(self);
  if (!state.decided) {
    Decide(state);
    // A playlist or manifest is a stream, whatever the server calls it.
    if (state.result.kind == ProbeResult::Kind::Media &&
        LooksLikeStreamText(std::string_view(data, size * count))) {
      state.result.kind = ProbeResult::Kind::Stream;
    }
  }
  if (state.failedStatus || state.unknownType || state.result.kind != ProbeResult::Kind::Page ||
      state.vouchedMedia) {
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
  state.vouchedMedia = request.vouchedMedia;
  transfer.SetBodyHandler(&OnBody, &state);
  transfer.SetDeadline(deadline);
  transfer.SetReferrerPage(request.referrerPage);
  transfer.SetHeaders(request.headers);
  // Pages may come compressed; libcurl unpacks them before OnBody counts.
  curl_easy_setopt(transfer.Handle(), CURLOPT_ACCEPT_ENCODING, "");

  const CURLcode code = transfer.Perform(url);
  if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && state.stopped)) {
    throw FetchError(transfer.Describe(code, url));
  }
  if (!state.decided) Decide(state);  // an answer without a body
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
