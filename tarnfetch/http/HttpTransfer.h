#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/FetchOptions.h"

namespace tarnfetch {

class StopFlag;

// The head of the response being received. With redirects libcurl reports
// the headers of every hop; each new status line starts a fresh head, so
// after the headers this holds the last (final) response's values.
struct ResponseHead {
  long status = 0;
  std::optional<std::uint64_t> contentLength;
  std::string contentType;
  std::string contentRange;
  std::string etag;
  std::string lastModified;
  std::string location;
  std::string contentEncoding;  // lower case; empty: none
  // A Content-Length no file can have (past INT64_MAX, or too long to
  // read): the answer is damaged.
  bool impossibleLength = false;
  std::string retryAfter;  // seconds or a date

  // The body comes packed (gzip, br ...): its bytes are not the file's.
  bool Packed() const { return !contentEncoding.empty() && contentEncoding != "identity"; }
  // A redirect to follow: a 3xx status with a Location.
  bool Redirect() const { return !location.empty() && status >= 300 && status <= 399; }
};

using Deadline = std::chrono::steady_clock::time_point;

// A Cookie or Authorization request header ("Name: value"): it proves who
// the user is, so it never goes to another origin.
bool IsCredentialHeader(std::string_view header);

// The settings every request shares, on any easy handle (single transfers
// here, parallel ones in TransferEngine): http and https only (also for
// redirects), at most 10 redirects, TLS verification, a connect time-out,
// the run's stall time-out and its proxy (for every address, whatever
// no_proxy says; without one libcurl follows the environment), and the
// user's cookies when the run has them (libcurl decides where each goes).
// errorText must hold CURL_ERROR_SIZE bytes and outlive the handle's use.
void ApplySharedOptions(CURL* curl, char* errorText, const FetchOptions& options);

// The read buffer for a download's body (CURLOPT_BUFFERSIZE): larger reads
// mean fewer callbacks and writes, but each connection holds one: 256 KiB
// keeps eight connections of an unthrottled file within 20 MB (libcurl takes
// up to 512 KiB).
constexpr long kBufferBytes = 256 * 1024;

// Folds one header line into head; a status line starts a fresh head, so
// after redirects head holds the final response's values.
void ReadHeaderLine(ResponseHead& head, std::string_view line);

// Whether a transfer that ended with code delivered its whole body.
// ownStop: our body handler ended it (CURLE_WRITE_ERROR). libcurl's
// decoder also ends a packed answer with CURLE_WRITE_ERROR when stray bytes
// follow the end of the packed stream, after everything was decoded.
bool EndedWhole(CURLcode code, const ResponseHead& head, bool ownStop);

// A user-facing sentence for a libcurl failure; errorText is the handle's
// error buffer (may be empty).
std::string DescribeFailure(CURLcode code, const char* errorText, const std::string& url);

// One libcurl easy handle with the shared settings. Redirects are followed
// here, not by libcurl, so that each hop gets the Referer a browser would
// send it. A run's speed limit holds it to the whole limit's rate (pages
// and probes are small next to the download, which shares the limit).
class HttpTransfer {
 public:
  static constexpr long kMaxRedirects = 10;

  explicit HttpTransfer(const FetchOptions& options);
  ~HttpTransfer();
  HttpTransfer(const HttpTransfer&) = delete;
  HttpTransfer& operator=(const HttpTransfer&) = delete;

  CURL* Handle() const { return curl_; }
  const ResponseHead& Head() const { return head_; }

  // The address libcurl is at now (after redirects).
  std::string EffectiveUrl() const;
  long Status() const;

  // Where the body of the final answer goes (libcurl's write callback);
  // the bodies of redirects are dropped.
  void SetBodyHandler(curl_write_callback handler, void* data);
  // The page whose media is fetched: each request carries a Referer for it.
  void SetReferrerPage(std::string page) { referrerPage_ = std::move(page); }
  // Extra request headers ("Name: value", no line breaks) on every hop; a
  // Cookie or Authorization only to the first address's origin, since a
  // redirect may lead anywhere.
  void SetHeaders(std::vector<std::string> headers) { headers_ = std::move(headers); }
  // The whole request, redirects included, ends by then.
  void SetDeadline(Deadline deadline) { deadline_ = deadline; }
  // The request ends (CURLE_ABORTED_BY_CALLBACK) soon after stop is raised,
  // also while no byte comes.
  void SetStopFlag(const StopFlag* stop);

  // Runs the request for url, following redirects.
  CURLcode Perform(const std::string& url);

  // A user-facing sentence for a libcurl failure.
  std::string Describe(CURLcode code, const std::string& url) const;

 private:
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
  static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
  CURLcode PerformOne(const std::string& url);

  CURL* curl_ = nullptr;
  ResponseHead head_;
  curl_write_callback bodyHandler_ = nullptr;
  void* bodyData_ = nullptr;
  std::string referrerPage_;
  std::vector<std::string> headers_;
  std::string firstUrl_;
  curl_slist* headerList_ = nullptr;
  std::optional<Deadline> deadline_;
  const StopFlag* stop_ = nullptr;
  bool deadlinePassed_ = false;
  bool droppedRedirectBody_ = false;
  char errorText_[CURL_ERROR_SIZE] = {};
};

// A user-facing sentence for an HTTP status that means failure.
std::string DescribeStatus(long status, const std::string& url);

}  // namespace tarnfetch
