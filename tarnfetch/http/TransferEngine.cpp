#include "http/TransferEngine.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <stdexcept>
#include <string_view>

#include "core/FetchError.h"
#include "core/StopFlag.h"
#include "http/ContentRange.h"

namespace tarnfetch {
namespace {

using Clock = std::chrono::steady_clock;

// A failed attempt waits a little longer each time before it is tried again.
constexpr auto kRetryPause = std::chrono::milliseconds(250);
// The engine looks at its waiting retries at least this often.
constexpr int kPollMs = 250;

CURLM* Multi(void* multi) {
  return static_cast<CURLM*>(multi);
}

}  // namespace

// One request and the state of its current attempt.
struct TransferEngine::Active {
  TransferEngine* engine = nullptr;
  TransferRequest request;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  char errorText[CURL_ERROR_SIZE] = {};
  std::string rangeText;
  ResponseHead head;

  int attempt = 0;
  std::uint64_t next = 0;  // the offset of the next byte to hand over
  std::uint64_t from = 0;  // where this attempt asked to begin
  bool headChecked = false;
  bool complete = false;   // the range's last byte arrived; the rest was cut off
  bool permanent = false;  // the failure is not worth another attempt
  std::string failure;
  Clock::time_point notBefore{};

  ~Active() { Release(); }

  void Release() {
    if (easy != nullptr) {
      curl_multi_remove_handle(Multi(engine->multi_), easy);
      curl_easy_cleanup(easy);
      easy = nullptr;
    }
    curl_slist_free_all(headers);
    headers = nullptr;
  }

  std::string EffectiveUrl() const {
    char* url = nullptr;
    if (easy != nullptr) curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url);
    return url != nullptr ? url : request.url;
  }

  void FailForGood(std::string why) {
    failure = std::move(why);
    permanent = true;
  }

  // Decides whether the final answer's body can be handed over, and from
  // which offset. False when it cannot.
  bool CheckHead() {
    headChecked = true;
    const std::string where = EffectiveUrl();
    const AnswerDecision decision =
        CheckAnswer(head, {from, request.range, request.partOnly}, request.file, where);
    if (request.onAnswer) request.onAnswer(decision, head);
    if (!decision.Taken()) {
      failure = decision.message;
      permanent = decision.kind != AnswerDecision::Kind::Fail || !decision.retry;
      return false;
    }
    if (decision.kind == AnswerDecision::Kind::FromStart) next = 0;
    if (request.checkHead) {
      std::string problem = request.checkHead(head, where);
      if (!problem.empty()) {
        FailForGood(std::move(problem));
        return false;
      }
    }
    return true;
  }

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    ReadHeaderLine(static_cast<Active*>(self)->head, std::string_view(data, size * count));
    return size * count;
  }

  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto& a = *static_cast<Active*>(self);
    const std::size_t bytes = size * count;
    try {
      if (!a.headChecked && !a.CheckHead()) return 0;
      std::size_t take = bytes;
      if (a.request.range && a.request.range->last) {
        const std::uint64_t end = *a.request.range->last + 1;
        take = a.next >= end
                   ? 0
                   : static_cast<std::size_t>(std::min<std::uint64_t>(bytes, end - a.next));
      }
      std::string why;
      if (take > 0 && !a.request.sink(a.next, data, take, &why)) {
        a.FailForGood(why.empty() ? "The download could not be stored: " + a.request.url : why);
        return 0;
      }
      a.next += take;
      a.engine->received_ += take;
      if (a.engine->progress_) a.engine->progress_(a.engine->received_);
      if (take < bytes) {
        a.complete = true;
        return 0;
      }
      return bytes;
    } catch (const std::exception& failure) {
      a.FailForGood(failure.what());
      return 0;
    }
  }

  // The outcome of a finished attempt: true when the request is done.
  bool Settle(CURLcode code) {
    if (!failure.empty()) return false;
    if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && complete)) {
      failure = DescribeFailure(code, errorText, request.url);
      // The safety rules answer the same way every time.
      permanent = code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_URL_MALFORMAT ||
                  code == CURLE_TOO_MANY_REDIRECTS || code == CURLE_PEER_FAILED_VERIFICATION;
      return false;
    }
    if (!headChecked && !CheckHead()) return false;  // an answer without a body
    if (request.range && request.range->last && next <= *request.range->last) {
      // A resource shorter than the range asked for ends where it ends.
      const auto range = ParseContentRange(head.contentRange);
      const bool endsThere = range && range->completeLength && *range->completeLength == next;
      if (!endsThere) {
        failure = "The connection broke before the download was complete: " + request.url;
        return false;
      }
    }
    return true;
  }
};

TransferEngine::TransferEngine(int limit) : limit_(limit < 1 ? 1 : limit) {
  curl_global_init(CURL_GLOBAL_DEFAULT);  // counted; the shared set-up did it already
  multi_ = curl_multi_init();
  if (multi_ == nullptr) throw std::bad_alloc();
  curl_multi_setopt(Multi(multi_), CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(limit_));
}

TransferEngine::~TransferEngine() {
  StopAll();
  curl_multi_cleanup(Multi(multi_));
  curl_global_cleanup();
}

void TransferEngine::StopAll() {
  active_.clear();
  waiting_.clear();
}

void TransferEngine::Start(std::unique_ptr<Active> a) {
  a->engine = this;
  a->head = {};
  a->headChecked = false;
  a->complete = false;
  a->failure.clear();
  a->errorText[0] = '\0';
  a->from = a->next;
  a->easy = curl_easy_init();
  if (a->easy == nullptr) throw std::bad_alloc();
  CURL* easy = a->easy;
  ApplySharedOptions(easy, a->errorText);
  curl_easy_setopt(easy, CURLOPT_URL, a->request.url.c_str());
  curl_easy_setopt(easy, CURLOPT_PRIVATE, a.get());
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Active::OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, a.get());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Active::OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, a.get());
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kBufferBytes);
  if (a->request.compressed) curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
  const auto& range = a->request.range;
  if (a->from > 0 || (range && range->last)) {
    a->rangeText = std::to_string(a->from) + "-";
    if (range && range->last) a->rangeText += std::to_string(*range->last);
    curl_easy_setopt(easy, CURLOPT_RANGE, a->rangeText.c_str());
  }
  for (const std::string& header : a->request.headers) {
    curl_slist* more = curl_slist_append(a->headers, header.c_str());
    if (more == nullptr) throw std::bad_alloc();
    a->headers = more;
  }
  if (a->headers != nullptr) curl_easy_setopt(easy, CURLOPT_HTTPHEADER, a->headers);
  if (curl_multi_add_handle(Multi(multi_), easy) != CURLM_OK) throw std::bad_alloc();
  active_.push_back(std::move(a));
}

void TransferEngine::Finish(Active* finished, int code) {
  auto it = std::find_if(active_.begin(), active_.end(),
                         [finished](const auto& a) { return a.get() == finished; });
  if (it == active_.end()) return;
  std::unique_ptr<Active> a = std::move(*it);
  active_.erase(it);
  const bool done = a->Settle(static_cast<CURLcode>(code));
  a->Release();
  if (done) {
    try {
      if (a->request.done) a->request.done();
    } catch (const std::exception& failure) {
      failure_ = failure.what();
    }
    return;
  }
  if (a->permanent || ++a->attempt > kRetries) {
    failure_ = a->failure;
    return;
  }
  // The retry asks for the rest from `next`; CheckHead moves back to the
  // start when the server sends the whole body instead.
  a->notBefore = Clock::now() + kRetryPause * a->attempt;
  waiting_.push_back(std::move(a));
}

void TransferEngine::Run(const Source& source) {
  failure_.clear();
  while (true) {
    const auto now = Clock::now();
    for (auto it = waiting_.begin();
         it != waiting_.end() && static_cast<int>(active_.size()) < limit_;) {
      if ((*it)->notBefore > now) {
        ++it;
        continue;
      }
      std::unique_ptr<Active> retry = std::move(*it);
      it = waiting_.erase(it);
      Start(std::move(retry));
    }
    while (static_cast<int>(active_.size()) < limit_) {
      std::optional<TransferRequest> request = source();
      if (!request) break;
      auto a = std::make_unique<Active>();
      a->request = std::move(*request);
      if (a->request.range) a->next = a->request.range->first;
      Start(std::move(a));
    }
    if (active_.empty() && waiting_.empty()) return;

    int running = 0;
    curl_multi_perform(Multi(multi_), &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(Multi(multi_), &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      Active* a = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &a);
      Finish(a, message->data.result);
      if (!failure_.empty()) break;
    }
    if (!failure_.empty()) {
      StopAll();
      throw FetchError(failure_);
    }
    if (running > 0 || !waiting_.empty())
      curl_multi_poll(Multi(multi_), nullptr, 0, kPollMs, nullptr);
    if (tick_) tick_();
    if (stop_ != nullptr && stop_->Raised()) {
      StopAll();
      throw FetchError("The download was stopped.");
    }
  }
}

std::string FetchSmall(const std::string& url, std::size_t maxBytes,
                       const std::vector<std::string>& headers, std::string* effectiveUrl) {
  std::string body;
  bool given = false;
  TransferRequest request;
  request.url = url;
  request.headers = headers;
  request.compressed = true;
  request.checkHead = [effectiveUrl, &body, maxBytes](const ResponseHead& head,
                                                      const std::string& where) {
    if (effectiveUrl != nullptr) *effectiveUrl = where;
    // One allocation of the announced size instead of repeated doubling.
    if (head.contentLength) body.reserve(std::min<std::uint64_t>(*head.contentLength, maxBytes));
    return std::string();
  };
  request.sink = [&body, maxBytes, &url](std::uint64_t offset, const char* data, std::size_t size,
                                         std::string* failure) {
    body.resize(static_cast<std::size_t>(offset));
    if (size > maxBytes - body.size()) {
      *failure = "The server sent more than " + std::to_string(maxBytes) + " bytes: " + url;
      return false;
    }
    body.append(data, size);
    return true;
  };
  TransferEngine engine(1);
  engine.Run([&]() -> std::optional<TransferRequest> {
    if (given) return std::nullopt;
    given = true;
    return request;
  });
  return body;
}

}  // namespace tarnfetch
