#include "HttpTransfer.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string_view>

namespace tarnfetch {
namespace {

constexpr long kConnectSeconds = 20;
// A transfer slower than one byte a second for this long has stalled.
constexpr long kStallSeconds = 60;

// libcurl wants one global set-up before any handle, and this program makes
// its handles one at a time from one thread.
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

void ApplySharedOptions(CURL* curl, char* errorText) {
  InitOnce();
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, HttpTransfer::kMaxRedirects);
  curl_easy_setopt(curl, CURLOPT_AUTOREFERER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "tarnfetch/" TARNFETCH_VERSION);
  curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");  // keep cookies across redirects
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
}

HttpTransfer::HttpTransfer() {
  InitOnce();
  curl_ = curl_easy_init();
  if (curl_ == nullptr) throw std::bad_alloc();
  ApplySharedOptions(curl_, errorText_);
  curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, &HttpTransfer::OnHeader);
  curl_easy_setopt(curl_, CURLOPT_HEADERDATA, this);
}

HttpTransfer::~HttpTransfer() {
  curl_easy_cleanup(curl_);
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
  head_ = {};
  errorText_[0] = '\0';
  curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
  return curl_easy_perform(curl_);
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
    char* end = nullptr;
    const unsigned long long length = std::strtoull(value.c_str(), &end, 10);
    if (!value.empty() && *end == '\0' && value[0] != '-') head.contentLength = length;
  } else if (HeaderIs(line, "content-type")) {
    head.contentType = HeaderValue(line);
  } else if (HeaderIs(line, "content-range")) {
    head.contentRange = HeaderValue(line);
  }
}

std::string HttpTransfer::Describe(CURLcode code, const std::string& url) const {
  return DescribeFailure(code, errorText_, url);
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
  return what + " (" + detail + "): " + url;
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
  return "The server answered HTTP " + std::to_string(status) + reason + ": " + url;
}

}  // namespace tarnfetch
