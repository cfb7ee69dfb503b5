#include "http/PassingFault.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace tarnfetch {
namespace {

// A run notes a handful at most; the bound keeps a retrying loop small.
constexpr std::size_t kMaxNoted = 64;

struct Noted {
  std::mutex lock;
  std::vector<std::string> sentences;
};

Noted& NotedFaults() {
  static Noted noted;
  return noted;
}

}  // namespace

bool IsPassingFault(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return true;
    default:
      return false;
  }
}

bool IsPassingStatus(long status) {
  return status == 429 || (status >= 500 && status <= 599);
}

void NotePassingFault(const std::string& description) {
  Noted& noted = NotedFaults();
  const std::lock_guard guard(noted.lock);
  if (noted.sentences.size() == kMaxNoted) noted.sentences.erase(noted.sentences.begin());
  noted.sentences.push_back(description);
}

bool MentionsPassingFault(std::string_view message) {
  Noted& noted = NotedFaults();
  const std::lock_guard guard(noted.lock);
  return std::any_of(noted.sentences.begin(), noted.sentences.end(),
                     [message](const std::string& s) { return message.find(s) != message.npos; });
}

}  // namespace tarnfetch
