#include "http/TransferEngine.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <new>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "core/FetchError.h"
#include "core/StopFlag.h"
#include "http/ContentRange.h"
#include "http/PassingFault.h"
#include "http/Url.h"

namespace tarnfetch {
namespace {

using Clock = std::chrono::steady_clock;

// A failed attempt waits a little longer each time before it is tried again.
constexpr auto kRetryPause = std::chrono::milliseconds(250);
// The engine looks at its waiting retries at least this often.
constexpr int kPollMs = 250;
// A server's Retry-After is waited for up to the time the stall rule lets
// a transfer go without a byte.
constexpr auto kLongestWait = std::chrono::seconds(60);

// Answers and failures by which a server says it wants fewer connections.
bool SaysTooMany(long status, CURLcode code) {
  return status == 429 || status == 503 || code == CURLE_COULDNT_CONNECT ||
         code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR || code == CURLE_GOT_NOTHING;
}

// The wait a Retry-After value asks for ("5" or an HTTP date); none when
// it is neither.
Clock::duration RetryWait(const std::string& value) {
  std::int64_t seconds = -1;
  if (value.empty()) return {};
  if (value.find_first_not_of("0123456789") == std::string::npos && value.size() <= 9) {
    seconds = std::stoll(value);
  } else if (const time_t when = curl_getdate(value.c_str(), nullptr); when >= 0) {
    seconds = std::max<std::int64_t>(0, when - time(nullptr));
  }
  if (seconds < 0) return {};
  return std::min<Clock::duration>(std::chrono::seconds(seconds), kLongestWait);
}

CURLM* Multi(void* multi) {
  return static_cast<CURLM*>(multi);
}

}  // namespace

// One request and the state of its current attempt.
struct TransferEngine::Active {
  TransferEngine* engine = nullptr;
  TransferRequest request;
  std::string at;  // the address this hop asks (request.url but after redirects we follow)
  int hops = 0;
  bool hop = false;  // the answer was a redirect to `at`
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  char errorText[CURL_ERROR_SIZE] = {};
  std::string rangeText;
  ResponseHead head;

  int attempt = 0;
  Clock::time_point started{};
  std::uint64_t windowBytes = 0;  // handed over in the engine's window
  std::uint64_t next = 0;         // the offset of the next byte to hand over
  std::uint64_t from = 0;         // where this attempt asked to begin
  bool headChecked = false;
  bool answered = false;   // a header line of this attempt came
  bool paused = false;     // waits for the speed limit's budget
  bool complete = false;   // the range's last byte arrived; the rest was cut off
  bool permanent = false;  // the failure is not worth another attempt
  std::string failure;
  Clock::time_point notBefore{};

  ~Active() { Release(); }

  void Release() {
    if (easy != nullptr) {
      curl_multi_remove_handle(Multi(engine->multi_), easy);
      engine->idle_.push_back(easy);
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

  // The range was cut short for another connection to fetch the rest, and
  // every byte before the cut came.
  bool GivenAway() const {
    return request.end != nullptr && request.range && request.range->last &&
           *request.end <= *request.range->last && next >= *request.end;
  }

  // The last byte wanted, as the range stands now.
  std::optional<std::uint64_t> Last() const {
    if (!request.range) return std::nullopt;
    std::optional<std::uint64_t> last = request.range->last;
    if (request.end != nullptr && *request.end > 0 && (!last || *request.end - 1 < *last)) {
      last = *request.end - 1;
    }
    return last;
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
    std::optional<ByteRange> asked = request.range;
    if (asked) asked->last = Last();
    const AnswerDecision decision =
        CheckAnswer(head, {from, asked, request.partOnly, request.compressed}, request.file, where);
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
    auto& a = *static_cast<Active*>(self);
    if (!a.answered) {
      a.answered = true;
      a.engine->NoteRoundTrip(Clock::now() - a.started);
    }
    const std::string_view line(data, size * count);
    ReadHeaderLine(a.head, line);
    return size * count;
  }

  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto& a = *static_cast<Active*>(self);
    const std::size_t bytes = size * count;
    try {
      // A redirect's body is never needed, and may be endless.
      if (!a.failure.empty() || a.complete || (a.FollowsItself() && a.head.Redirect())) return 0;
      if (!a.headChecked && !a.CheckHead()) return 0;
      // libcurl keeps these bytes and hands them over again once resumed.
      RateLimit* limit = a.engine->options_.rateLimit.get();
      if (limit != nullptr && limit->Spent()) {
        a.paused = true;
        return CURL_WRITEFUNC_PAUSE;
      }
      if (limit != nullptr) limit->Spend(bytes);
      std::size_t take = bytes;
      if (const auto last = a.Last()) {
        const std::uint64_t end = *last + 1;
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
      a.windowBytes += take;
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

  bool FollowsItself() const { return !request.referrerPage.empty(); }

  // A redirect of a request that follows its own: the next hop's address.
  void Follow() {
    const auto next = ResolveUrl(at, head.location);
    if (!next || !IsWebUrl(*next)) {
      return FailForGood(DescribeFailure(CURLE_UNSUPPORTED_PROTOCOL,
                                         ("redirected to " + head.location).c_str(), request.url));
    }
    if (hops == HttpTransfer::kMaxRedirects) {
      return FailForGood(DescribeFailure(CURLE_TOO_MANY_REDIRECTS, "", request.url));
    }
    ++hops;
    at = *next;
    hop = true;
  }

  // The outcome of a finished attempt: true when the request is done.
  bool Settle(CURLcode code) {
    // However this attempt ended, nothing more of it is wanted.
    if (GivenAway() && !permanent) return true;
    if (!failure.empty()) return false;
    if (FollowsItself() && head.Redirect() && (code == CURLE_OK || code == CURLE_WRITE_ERROR)) {
      Follow();
      return false;
    }
    if (!EndedWhole(code, head, complete)) {
      failure = DescribeFailure(code, errorText, request.url);
      // The safety rules answer the same way every time.
      permanent = code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_URL_MALFORMAT ||
                  code == CURLE_TOO_MANY_REDIRECTS || code == CURLE_PEER_FAILED_VERIFICATION;
      return false;
    }
    if (!headChecked && !CheckHead()) return false;  // an answer without a body
    if (const auto last = Last(); last && next <= *last) {
      // A resource shorter than the range asked for ends where it ends.
      const auto range = ParseContentRange(head.contentRange);
      const bool endsThere = range && range->completeLength && *range->completeLength == next;
      if (!endsThere) {
        failure = "The connection broke before the download was complete: " + request.url;
        NotePassingFault(failure);
        return false;
      }
    }
    return true;
  }
};

TransferEngine::TransferEngine(int limit, const FetchOptions& options)
    : limit_(limit < 1 ? 1 : limit), options_(options) {
  curl_global_init(CURL_GLOBAL_DEFAULT);  // counted; the shared set-up did it already
  multi_ = curl_multi_init();
  if (multi_ == nullptr) throw std::bad_alloc();
  curl_multi_setopt(Multi(multi_), CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(limit_));
}

TransferEngine::~TransferEngine() {
  StopAll();
  for (CURL* easy : idle_) curl_easy_cleanup(easy);
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
  a->paused = false;
  a->complete = false;
  a->failure.clear();
  a->errorText[0] = '\0';
  a->from = a->next;
  a->started = Clock::now();
  a->windowBytes = 0;
  a->answered = false;
  // A handle of an earlier request keeps its connection to the server (and
  // libcurl's caches); every option is set again below.
  if (idle_.empty()) {
    a->easy = curl_easy_init();
    if (a->easy == nullptr) throw std::bad_alloc();
  } else {
    a->easy = idle_.back();
    idle_.pop_back();
    // libcurl 7.88's reset forgets, without freeing, the list of cookie
    // files; emptied first, nothing is lost.
    curl_easy_setopt(a->easy, CURLOPT_COOKIEFILE, nullptr);
    curl_easy_reset(a->easy);
    // Cookies a server set on an earlier request stay with that request.
    curl_easy_setopt(a->easy, CURLOPT_COOKIELIST, "ALL");
  }
  CURL* easy = a->easy;
  ApplySharedOptions(easy, a->errorText, options_);
  curl_easy_setopt(easy, CURLOPT_URL, a->at.c_str());
  curl_easy_setopt(easy, CURLOPT_PRIVATE, a.get());
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Active::OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, a.get());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Active::OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, a.get());
  const RateLimit* rate = options_.rateLimit.get();
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, rate != nullptr ? rate->ReadBytes() : kBufferBytes);
  if (a->request.compressed) curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
  const std::optional<std::uint64_t> last = a->Last();
  if (a->from > 0 || last) {
    a->rangeText = std::to_string(a->from) + "-";
    if (last) a->rangeText += std::to_string(*last);
    curl_easy_setopt(easy, CURLOPT_RANGE, a->rangeText.c_str());
  }
  std::vector<std::string> headers = a->request.headers;
  if (a->FollowsItself()) {
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    if (!SameOrigin(a->at, a->request.url)) std::erase_if(headers, IsCredentialHeader);
    const std::string referer = RefererFor(a->request.referrerPage, a->at);
    if (!referer.empty()) headers.push_back("Referer: " + referer);
  }
  for (const std::string& header : headers) {
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
  if (a->hop) {  // the next hop, at once
    a->hop = false;
    return Start(std::move(a));
  }
  if (done) {
    ++windowDone_;
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
  if (plan_ != nullptr && SaysTooMany(a->head.status, static_cast<CURLcode>(code)) &&
      plan_->Overloaded()) {
    SetLimit(plan_->Count());
    StartWindow();
  }
  // The retry asks for the rest from `next`; CheckHead moves back to the
  // start when the server sends the whole body instead.
  a->notBefore = Clock::now() +
                 std::max<Clock::duration>(kRetryPause * a->attempt, RetryWait(a->head.retryAfter));
  waiting_.push_back(std::move(a));
}

void TransferEngine::Adapt(ConnectionPlan* plan) {
  plan_ = plan;
  if (plan_ == nullptr) return;
  SetLimit(plan_->Count());
}

void TransferEngine::SetLimit(int limit) {
  limit_ = limit;
  // libcurl then reuses a connection rather than opening one more.
  curl_multi_setopt(Multi(multi_), CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(limit_));
}

void TransferEngine::NoteRoundTrip(Clock::duration wait) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wait);
  // A running average: one slow answer does not stretch every window.
  roundTrip_ = roundTrip_.count() == 0 ? ms : (3 * roundTrip_ + ms) / 4;
}

void TransferEngine::StartWindow() {
  windowStart_ = lastLook_ = Clock::now();
  windowReceived_ = received_;
  windowDone_ = 0;
  windowBusy_ = 0;
  for (const auto& a : active_) a->windowBytes = 0;
}

void TransferEngine::MeasureWindow() {
  const auto now = Clock::now();
  const std::chrono::duration<double> step = now - lastLook_;
  windowBusy_ += step.count() * static_cast<double>(active_.size());
  lastLook_ = now;
  const std::chrono::duration<double> seconds = now - windowStart_;
  if (now - windowStart_ < ConnectionPlan::Window(roundTrip_) || seconds.count() <= 0) return;
  ConnectionPlan::Sample sample;
  sample.busy = windowBusy_ / seconds.count();
  sample.total = static_cast<double>(received_ - windowReceived_) / seconds.count();
  if (plan_->Counted() == ConnectionPlan::Measure::Segments) {
    sample.total = static_cast<double>(windowDone_) / seconds.count();
  }
  int whole = 0;
  for (const auto& a : active_) {
    if (a->started > windowStart_) continue;
    const double rate = static_cast<double>(a->windowBytes) / seconds.count();
    sample.slowest = whole == 0 ? rate : std::min(sample.slowest, rate);
    sample.fastest = std::max(sample.fastest, rate);
    ++whole;
  }
  if (whole < 2) sample.slowest = sample.fastest = 0;
  plan_->Measured(sample);
  if (plan_->Count() != limit_) SetLimit(plan_->Count());
  StartWindow();
}

void TransferEngine::Fill(const Source& source) {
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
    a->next = a->request.range ? a->request.range->first : a->request.resumeFrom;
    a->at = a->request.url;
    Start(std::move(a));
  }
}

bool TransferEngine::EndGivenAway() {
  std::vector<Active*> delivered;
  for (const auto& a : active_) {
    if (a->GivenAway()) delivered.push_back(a.get());
  }
  for (Active* a : delivered) {
    if (failure_.empty()) Finish(a, CURLE_OK);
  }
  return !delivered.empty();
}

void TransferEngine::Run(const Source& source) {
  failure_.clear();
  StartWindow();
  while (true) {
    Fill(source);
    if (active_.empty() && waiting_.empty()) return;
    if (plan_ != nullptr) MeasureWindow();
    ResumePaused();
    if (!failure_.empty()) {
      StopAll();
      throw FetchError(failure_);
    }

    int running = 0;
    curl_multi_perform(Multi(multi_), &running);
    // A request whose range went to another connection ends now, not when
    // its slow server sends the next byte.
    bool freed = EndGivenAway();
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(Multi(multi_), &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      Active* a = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &a);
      Finish(a, message->data.result);
      freed = true;
      if (!failure_.empty()) break;
    }
    if (!failure_.empty()) {
      StopAll();
      throw FetchError(failure_);
    }
    // A freed slot takes its next request before the wait, not after some
    // other transfer's next data.
    if (!freed && (running > 0 || !waiting_.empty()))
      curl_multi_poll(Multi(multi_), nullptr, 0, static_cast<int>(PollMs()), nullptr);
    if (tick_) tick_();
    if (stop_ != nullptr && stop_->Raised()) {
      StopAll();
      throw FetchError("The download was stopped.");
    }
  }
}

void TransferEngine::ResumePaused() {
  RateLimit* limit = options_.rateLimit.get();
  if (limit == nullptr || limit->Spent()) return;
  std::vector<std::pair<Active*, CURLcode>> ended;
  for (const auto& a : active_) {
    if (!a->paused) continue;
    a->paused = false;
    // Hands the kept bytes over at once; a failure there ends the request.
    const CURLcode code = curl_easy_pause(a->easy, CURLPAUSE_CONT);
    if (code != CURLE_OK) ended.emplace_back(a.get(), code);
  }
  for (const auto& [a, code] : ended) {
    if (failure_.empty()) Finish(a, code);
  }
}

long TransferEngine::PollMs() const {
  RateLimit* limit = options_.rateLimit.get();
  const bool paused =
      std::any_of(active_.begin(), active_.end(), [](const auto& a) { return a->paused; });
  if (limit == nullptr || !paused) return kPollMs;
  return std::clamp<long>(static_cast<long>(limit->Wait().count()), 1, kPollMs);
}

std::string FetchSmall(const std::string& url, std::size_t maxBytes, const FetchOptions& options,
                       const std::vector<std::string>& headers, std::string* effectiveUrl,
                       const StopFlag* stop) {
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
  TransferEngine engine(1, options);
  engine.SetStopFlag(stop);
  engine.Run([&]() -> std::optional<TransferRequest> {
    if (given) return std::nullopt;
    given = true;
    return request;
  });
  return body;
}

}  // namespace tarnfetch
