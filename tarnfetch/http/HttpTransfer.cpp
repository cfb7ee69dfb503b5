#include "http/HttpTransfer.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <string_view>

#include "cookies/CookieJar.h"
#include "core/StopFlag.h"
#include "http/PassingFault.h"
#include "http/Url.h"
#include "shared/Text.h"

namespace tarnfetch {
namespace {

constexpr long kConnectSeconds = 20;

// libcurl wants one global set-up before any handle; the first handle,
// made before any other thread starts, does it.
void InitOnce() {
  static const bool done = [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    std::atexit(curl_global_cleanup);
    return true;
  }();
  (void)done;
}

bool HeaderIs(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':') return false;
  return std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
    return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
  });
}

std::string HeaderValue(std::string_view line) {
  std::string_view value = line.substr(line.find(':') + 1);
  while (!value.empty() && static_cast<unsigned char>(value.front()) <= ' ') value.remove_prefix(1);
  while (!value.empty() && static_cast<unsigned char>(value.back()) <= ' ') value.remove_suffix(1);
  return std::string(value);
}

}  // namespace

bool IsCredentialHeader(std::string_view header) {
  const std::string name =
      quillmarsh::LowerAscii(quillmarsh::Trim(header.substr(0, header.find(':'))));
  return name == "cookie" || name == "authorization";
}

void ApplySharedOptions(CURL* curl, char* errorText, const FetchOptions& options) {
  InitOnce();
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, HttpTransfer::kMaxRedirects);
  // No automatic Referer: libcurl would send the full previous address to
  // any host a redirect leads to.
  curl_easy_setopt(curl, CURLOPT_AUTOREFERER, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  // A transfer slower than one byte a second for this long has stalled.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, options.stallSeconds);
  if (!options.proxy.empty()) {
    curl_easy_setopt(curl, CURLOPT_PROXY, options.proxy.c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
  }
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "tarnfetch/" TARNFETCH_VERSION);
  curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");  // keep cookies across redirects
  if (options.cookies) options.cookies->ApplyTo(curl);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
}

HttpTransfer::HttpTransfer(const FetchOptions& options) {
  InitOnce();
  curl_ = curl_easy_init();
  if (curl_ == nullptr) throw std::bad_alloc();
  ApplySharedOptions(curl_, errorText_, options);
  if (const std::uint64_t rate = options.LimitRate(); rate > 0) {
    curl_easy_setopt(curl_, CURLOPT_MAX_RECV_SPEED_LARGE, static_cast<curl_off_t>(rate));
  }
  curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, &HttpTransfer::OnHeader);
  curl_easy_setopt(curl_, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(curl_, CURLOPT_FOLLOWLOCATION, 0L);  // Perform follows them
  curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &HttpTransfer::OnBody);
  curl_easy_setopt(curl_, CURLOPT_WRITEDATA, this);
}

void HttpTransfer::SetBodyHandler(curl_write_callback handler, void* data) {
  bodyHandler_ = handler;
  bodyData_ = data;
}

HttpTransfer::~HttpTransfer() {
  curl_easy_cleanup(curl_);
  curl_slist_free_all(headerList_);
}

void HttpTransfer::SetStopFlag(const StopFlag* stop) {
  stop_ = stop;
  // libcurl calls this about once a second even while nothing arrives.
  curl_easy_setopt(curl_, CURLOPT_XFERINFOFUNCTION, &HttpTransfer::OnProgress);
  curl_easy_setopt(curl_, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(curl_, CURLOPT_NOPROGRESS, stop == nullptr ? 1L : 0L);
}

int HttpTransfer::OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const StopFlag* stop = static_cast<HttpTransfer*>(self)->stop_;
  return stop != nullptr && stop->Raised() ? 1 : 0;
}

std::string HttpTransfer::EffectiveUrl() const {
  char* url = nullptr;
  curl_easy_getinfo(curl_, CURLINFO_EFFECTIVE_URL, &url);
  return url != nullptr ? url : "";
}

long HttpTransfer::Status() const {
  long status = 0;
  curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status);
  return status;
}

CURLcode HttpTransfer::Perform(const std::string& url) {
  firstUrl_ = url;
  std::string current = url;
  for (long hops = 0;; ++hops) {
    CURLcode code = PerformOne(current);
    if (code == CURLE_WRITE_ERROR && droppedRedirectBody_) code = CURLE_OK;
    if (code != CURLE_OK || !head_.Redirect()) return code;
    if (hops == kMaxRedirects) return CURLE_TOO_MANY_REDIRECTS;
    const auto next = ResolveUrl(current, head_.location);
    if (!next || !IsWebUrl(*next)) {
      std::snprintf(errorText_, sizeof errorText_, "redirected to %s", head_.location.c_str());
      return CURLE_UNSUPPORTED_PROTOCOL;
    }
    current = *next;
  }
}

CURLcode HttpTransfer::PerformOne(const std::string& url) {
  head_ = {};
  errorText_[0] = '\0';
  droppedRedirectBody_ = false;
  curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
  const std::string referer = referrerPage_.empty() ? "" : RefererFor(referrerPage_, url);
  curl_easy_setopt(curl_, CURLOPT_REFERER, referer.empty() ? nullptr : referer.c_str());
  curl_slist_free_all(headerList_);
  headerList_ = nullptr;
  const bool sameOrigin = url == firstUrl_ || SameOrigin(url, firstUrl_);
  for (const std::string& header : headers_) {
    if (!sameOrigin && IsCredentialHeader(header)) continue;
    curl_slist* more = curl_slist_append(headerList_, header.c_str());
    if (more == nullptr) throw std::bad_alloc();
    headerList_ = more;
  }
  curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, headerList_);
  if (deadline_) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        *deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      deadlinePassed_ = true;
      return CURLE_OPERATION_TIMEDOUT;
    }
    // One more millisecond, so that libcurl gives up only once it has passed.
    curl_easy_setopt(curl_, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count()) + 1);
  }
  const CURLcode code = curl_easy_perform(curl_);
  // libcurl counts the time left from its own start in whole milliseconds,
  // so its time-out can come a little before our clock reaches the deadline.
  constexpr std::chrono::milliseconds kClockSlack{50};
  if (code == CURLE_OPERATION_TIMEDOUT && deadline_ &&
      std::chrono::steady_clock::now() + kClockSlack >= *deadline_) {
    deadlinePassed_ = true;
  }
  return code;
}

std::size_t HttpTransfer::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
  auto& transfer = *static_cast<HttpTransfer*>(self);
  // A redirect's body is never needed, and may be endless: end it here.
  if (transfer.head_.Redirect()) {
    transfer.droppedRedirectBody_ = true;
    return 0;
  }
  if (transfer.bodyHandler_ == nullptr) return size * count;
  return transfer.bodyHandler_(data, size, count, transfer.bodyData_);
}

std::size_t HttpTransfer::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
  ReadHeaderLine(static_cast<HttpTransfer*>(self)->head_, std::string_view(data, size * count));
  return size * count;
}

void ReadHeaderLine(ResponseHead& head, std::string_view line) {
  if (line.substr(0, 5) == "HTTP/") {
    head = {};
    const auto blank = line.find(' ');
    if (blank != std::string_view::npos)
      head.status = std::atol(std::string(line.substr(blank + 1, 3)).c_str());
  } else if (HeaderIs(line, "content-length")) {
    const std::string value = HeaderValue(line);
    std::uint64_t length = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
    if (value.empty() || end != value.data() + value.size()) return;  // not a number: none
    // A file's size is an off_t: anything larger is a damaged answer.
    if (error != std::errc() || length > std::numeric_limits<std::int64_t>::max()) {
      head.impossibleLength = true;
      head.contentLength.reset();
    } else {
      head.contentLength = length;
    }
  } else if (HeaderIs(line, "content-type")) {
    head.contentType = HeaderValue(line);
  } else if (HeaderIs(line, "content-range")) {
    head.contentRange = HeaderValue(line);
  } else if (HeaderIs(line, "etag")) {
    head.etag = HeaderValue(line);
  } else if (HeaderIs(line, "last-modified")) {
    head.lastModified = HeaderValue(line);
  } else if (HeaderIs(line, "location")) {
    head.location = HeaderValue(line);
  } else if (HeaderIs(line, "content-encoding")) {
    head.contentEncoding = quillmarsh::LowerAscii(HeaderValue(line));
  } else if (HeaderIs(line, "retry-after")) {
    head.retryAfter = HeaderValue(line);
  }
}

std::string HttpTransfer::Describe(CURLcode code, const std::string& url) const {
  if (code == CURLE_OPERATION_TIMEDOUT && deadlinePassed_) {
    std::string sentence = "The server took too long to answer: " + url;
    NotePassingFault(sentence);
    return sentence;
  }
  return DescribeFailure(code, errorText_, url);
}

bool EndedWhole(CURLcode code, const ResponseHead& head, bool ownStop) {
  return code == CURLE_OK || (code == CURLE_WRITE_ERROR && (ownStop || head.Packed()));
}

std::string DescribeFailure(CURLcode code, const char* errorText, const std::string& url) {
  std::string detail = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
  while (!detail.empty() && (detail.back() == '\n' || detail.back() == '.')) detail.pop_back();
  std::string what;
  switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
      what = "The address or one it redirects to is not http or https";
      break;
    case CURLE_URL_MALFORMAT:
      what = "The address is not valid";
      break;
    case CURLE_COULDNT_RESOLVE_HOST:
      what = "The server name could not be found";
      break;
    case CURLE_COULDNT_CONNECT:
      what = "Could not connect to the server";
      break;
    case CURLE_OPERATION_TIMEDOUT:
      what = "The server stopped answering";
      break;
    case CURLE_ABORTED_BY_CALLBACK:
      what = "The download was stopped";
      break;
    case CURLE_TOO_MANY_REDIRECTS:
      what = "Too many redirects (more than " + std::to_string(HttpTransfer::kMaxRedirects) + ")";
      break;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
      what = "The connection broke before the download was complete";
      break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE:
      what = "The secure connection could not be verified";
      break;
    default:
      what = "The download failed";
      break;
  }
  if (code == CURLE_TOO_MANY_REDIRECTS) return what + ": " + url;  // the detail says it again
  std::string sentence = what + " (" + detail + "): " + url;
  if (IsPassingFault(code)) NotePassingFault(sentence);
  return sentence;
}

std::string DescribeStatus(long status, const std::string& url) {
  std::string reason;
  switch (status) {
    case 401:
      reason = " Unauthorized";
      break;
    case 403:
      reason = " Forbidden";
      break;
    case 404:
      reason = " Not Found";
      break;
    case 410:
      reason = " Gone";
      break;
    case 429:
      reason = " Too Many Requests";
      break;
    case 500:
      reason = " Internal Server Error";
      break;
    case 502:
      reason = " Bad Gateway";
      break;
    case 503:
      reason = " Service Unavailable";
      break;
    default:
      break;
  }
  std::string sentence = "The server answered HTTP " + std::to_string(status) + reason + ": " + url;
  if (IsPassingStatus(status)) NotePassingFault(sentence);
  return sentence;
}

}  // namespace tarnfetch
