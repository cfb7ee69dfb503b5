#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "http/AnswerCheck.h"
#include "http/ByteRange.h"
#include "http/ConnectionPlan.h"
#include "http/HttpTransfer.h"

namespace tarnfetch {

class StopFlag;

// One request for the engine. Offsets handed to the sink are positions in
// the whole resource. A retry continues where the last attempt stopped when
// the server honoured the range; otherwise it starts again from the range's
// first byte (or 0), so a sink writes at the offset it is given and forgets
// anything it kept beyond it.
struct TransferRequest {
  std::string url;
  std::optional<ByteRange> range;
  // Without a range: the bytes before this are kept from an earlier
  // attempt, so the request asks for the rest; the server may still send
  // the whole resource (the sink is then handed offset 0).
  std::uint64_t resumeFrom = 0;
  // Optional: where the range ends now (one past its last byte). It may be
  // moved closer while the request runs, when the rest of the range goes
  // to another connection; the body is cut off there. Moved to where the
  // request has got to, the request ends at once, done.
  const std::uint64_t* end = nullptr;
  std::vector<std::string> headers;  // "Name: value"
  // The page that named the file. The engine then follows redirects
  // itself, so that each hop gets the Referer a browser would send it
  // and the headers' Cookie and Authorization stay with url's origin.
  std::string referrerPage;
  bool compressed = false;  // accept gzip and the like (whole bodies only)
  bool partOnly = false;    // a whole file in answer to the range is refused
  // The video the body belongs to, for CheckAnswer; read when the answer
  // comes. Left empty: any resource.
  KnownFile file;
  // Optional: told what CheckAnswer decided on the final answer's head.
  std::function<void(const AnswerDecision& decision, const ResponseHead& head)> onAnswer;
  // Optional: looks at a taken answer's head before any byte is handed
  // over. A non-empty message fails the request for good with it.
  std::function<std::string(const ResponseHead& head, const std::string& effectiveUrl)> checkHead;
  // Receives the body; false stops the request for good (reason in *failure).
  std::function<bool(std::uint64_t offset, const char* data, std::size_t size,
                     std::string* failure)>
      sink;
  // Called once when the request has delivered everything.
  std::function<void()> done;
};

// Runs requests on libcurl's multi interface, all on the calling thread:
// at most `limit` at a time, each with the shared safety settings of
// HttpTransfer (protocols, redirects, TLS, stall rule), each retried up to
// kRetries times after a failed attempt. Requests are pulled from a source
// as slots free up (before the engine waits again), so a long list never
// sits in memory as requests; a finished request's handle, and with it its
// connection, serves the next one. With a
// plan, the limit follows the plan: the engine measures each window and
// tells it when the server answers 429 or 503, refuses or resets a
// connection (the request is retried as any other). A Retry-After of the
// server is waited for, up to the stall time. Every handle takes the run's
// options (proxy, stall rule); under a speed limit a request pauses while
// the run's budget is spent, whichever engine or thread spent it.
class TransferEngine {
 public:
  static constexpr int kRetries = 3;

  // The next request, or nothing when there is none to start right now.
  // The run ends when the source gives nothing and no request is active.
  using Source = std::function<std::optional<TransferRequest>()>;
  // Bytes received by all requests of this run so far; called as they come.
  using ProgressFn = std::function<void(std::uint64_t received)>;

  TransferEngine(int limit, const FetchOptions& options);
  ~TransferEngine();
  TransferEngine(const TransferEngine&) = delete;
  TransferEngine& operator=(const TransferEngine&) = delete;

  void OnProgress(ProgressFn progress) { progress_ = std::move(progress); }
  // Called at least four times a second while Run runs, also when no byte
  // arrives (for saving a record on time).
  void OnTick(std::function<void()> tick) { tick_ = std::move(tick); }
  // Run ends with FetchError soon after stop is raised (within a tick).
  void SetStopFlag(const StopFlag* stop) { stop_ = stop; }
  // Lets the plan set the limit from now on; it must outlive Run.
  void Adapt(ConnectionPlan* plan);
  // Requests at most at a time right now.
  int Limit() const { return limit_; }

  // Runs until every request is done. On the first request that fails for
  // good, stops the others and throws FetchError with its reason.
  void Run(const Source& source);

  std::uint64_t Received() const { return received_; }

 private:
  struct Active;
  void Fill(const Source& source);
  void Start(std::unique_ptr<Active> active);
  bool EndGivenAway();
  void NoteRoundTrip(std::chrono::steady_clock::duration wait);
  void Finish(Active* active, int code);
  void StopAll();
  void SetLimit(int limit);
  void StartWindow();
  void MeasureWindow();
  void ResumePaused();
  long PollMs() const;

  int limit_;
  FetchOptions options_;
  ConnectionPlan* plan_ = nullptr;
  std::chrono::steady_clock::time_point windowStart_{};
  std::chrono::steady_clock::time_point lastLook_{};
  std::uint64_t windowReceived_ = 0;        // received_ when the window began
  std::uint64_t windowDone_ = 0;            // requests done in the window
  double windowBusy_ = 0;                   // requests in flight times seconds
  std::chrono::milliseconds roundTrip_{0};  // the usual wait for a first byte
  void* multi_ = nullptr;
  std::vector<CURL*> idle_;  // easy handles of finished requests, for the next ones
  std::vector<std::unique_ptr<Active>> active_;
  std::vector<std::unique_ptr<Active>> waiting_;  // retries waiting for their time
  std::uint64_t received_ = 0;
  ProgressFn progress_;
  std::function<void()> tick_;
  const StopFlag* stop_ = nullptr;
  std::string failure_;
};

// Fetches one small resource (a playlist, a key) into memory through the
// engine, with its retries. Throws FetchError, also when it is larger than
// maxBytes, or when `stop` is raised first.
std::string FetchSmall(const std::string& url, std::size_t maxBytes, const FetchOptions& options,
                       const std::vector<std::string>& headers = {},
                       std::string* effectiveUrl = nullptr, const StopFlag* stop = nullptr);

}  // namespace tarnfetch
