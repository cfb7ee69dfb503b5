#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <optional>
#include <string>

namespace tarnfetch {

// The head of the response being received. With redirects libcurl reports
// the headers of every hop; each new status line starts a fresh head, so
// after the headers this holds the last (final) response's values.
struct ResponseHead {
  long status = 0;
  std::optional<std::uint64_t> contentLength;
  std::string contentType;
  std::string contentRange;
};

// One libcurl easy handle with the settings every request shares: http and
// https only (also for redirects), at most 10 redirects, TLS verification,
// a connect time-out and a stall time-out.
class HttpTransfer {
 public:
  static constexpr long kMaxRedirects = 10;

  HttpTransfer();
  ~HttpTransfer();
  HttpTransfer(const HttpTransfer&) = delete;
  HttpTransfer& operator=(const HttpTransfer&) = delete;

  CURL* Handle() const { return curl_; }
  const ResponseHead& Head() const { return head_; }

  // The address libcurl is at now (after redirects).
  std::string EffectiveUrl() const;
  long Status() const;

  // Runs the request for url; the caller has set its own body callbacks.
  CURLcode Perform(const std::string& url);

  // A user-facing sentence for a libcurl failure.
  std::string Describe(CURLcode code, const std::string& url) const;

 private:
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);

  CURL* curl_ = nullptr;
  ResponseHead head_;
  char errorText_[CURL_ERROR_SIZE] = {};
};

// A user-facing sentence for an HTTP status that means failure.
std::string DescribeStatus(long status, const std::string& url);

}  // namespace tarnfetch
