#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "http/ByteRange.h"
#include "http/Validators.h"

namespace tarnfetch {

struct ResponseHead;

// What one attempt asked for.
struct AnswerAsked {
  std::uint64_t from = 0;          // the first byte asked for; 0: from the start
  std::optional<ByteRange> range;  // the part wanted (a retry asks from later in it); none: all
  bool partOnly = false;           // only a part is of use: a whole file in answer is refused
  bool packed = false;             // gzip and the like accepted (libcurl unpacks them)
};

// The video an answer must be. Without probed validators the answer may be
// any resource (a playlist, a segment), and only its status and range count.
struct KnownFile {
  const Validators* probed = nullptr;  // what the first look at the address said
  // The file the bytes kept so far came from; null or empty: none kept yet.
  const Validators* kept = nullptr;
  // kept is an earlier run's: a file changed since then is started again,
  // where a change during this run is a failure.
  bool keptFromEarlierRun = false;
  // Without probed validators: the body is still media (a segment), never text.
  bool media = false;
};

// What to do with an answer.
struct AnswerDecision {
  enum class Kind {
    Continue,    // the body is the file's bytes from the asked offset on
    FromStart,   // the body is the whole file from its first byte
    StartAgain,  // the file is not the one whose bytes are kept: fetch it anew from byte 0
    WholeOnly,   // the server sends no parts: fetch the whole file in one piece
    Fail,
  };
  Kind kind = Kind::Fail;
  std::optional<std::uint64_t> length;  // the whole file's, as the answer says
  bool retry = false;                   // Fail: another attempt may fare better
  std::string message;                  // why, for all but Continue and FromStart

  bool Taken() const { return kind == Kind::Continue || kind == Kind::FromStart; }
};

// The one rule for a server's answer to a download request: its status,
// Content-Range and, for a video, its type, length and validators against
// the probe's and the kept bytes'. url is where the answer came from, for
// the message.
AnswerDecision CheckAnswer(const ResponseHead& head, const AnswerAsked& asked,
                           const KnownFile& file, const std::string& url);

}  // namespace tarnfetch
