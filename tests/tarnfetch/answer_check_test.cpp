// The rule for a server's answer to a download request, as one table:
// status, Content-Range, type, length and validators, against what was
// asked and the file known so far, give the decision and its sentence.
#include <gtest/gtest.h>

#include <tuple>

#include "http/AnswerCheck.h"
#include "http/HttpTransfer.h"

namespace tarnfetch {
namespace {

using enum AnswerDecision::Kind;
const Validators kProbed{1000, "\"a\"", "", ""};
const ByteRange kFirstHalf{0, 499};
const ByteRange kSecondHalf{500, 999};
const char* const kNotAsked = "The server sent a part of the file that was not asked for: u";

// Any resource for the engine, or a stream's segment; a video of kProbed
// with nothing kept yet, or with bytes kept by an earlier run or by this
// run's first part.
enum Known { Any, Segment, Fresh, Earlier, ThisRun };

struct Case {
  long status;
  const char *contentRange, *type;
  std::optional<std::uint64_t> contentLength;
  const char* etag;
  AnswerAsked asked;
  Known known;
  AnswerDecision expected;  // kind, length, retry, its sentence for the address "u"
  const char* line = "";    // one more header line
};

// clang-format off
const Case kCases[] = {
  // Any resource: status and range only; a retry may get all of it.
  {200, "", "", {}, "", {300, ByteRange{}, false}, Any, {FromStart, {}, false, ""}},
  {416, "bytes */300", "", {}, "", {300, {}, false}, Any, {Fail, {}, true, "The server answered HTTP 416: u"}},
  {206, "", "", {}, "", {0, {}, false}, Any, {Fail, {}, false, kNotAsked}},
  {206, "bytes 0-99/100", "", {}, "", {300, ByteRange{}, false}, Any, {StartAgain, {}, false, kNotAsked}},
  {200, "", "", {}, "", {0, {}, false, true}, Any, {FromStart, {}, false, ""}, "Content-Encoding: gzip"},
  // A segment: media as a direct answer is, all of what was asked, as it is.
  {200, "", "application/json", {}, "", {0, {}, false}, Segment, {Fail, {}, false, "The server sent a text (application/json) instead of the video: u"}},
  {200, "", "video/mp2t", {}, "", {0, {}, false}, Segment, {Fail, {}, false, "The server sent the file packed (gzip) though it was not asked to: u"}, "Content-Encoding: gzip"},
  {206, "bytes 0-499/1000", "video/mp2t", {}, "", {0, {}, false}, Segment, {Fail, {}, true, "The server sent only a part of what was asked for: u"}},
  {200, "", "video/mp2t", 9, "", {0, {}, false}, Segment, {FromStart, 9, false, ""}, "Content-Encoding: identity"},
  {200, "", "text/plain", 9, "", {0, {}, false}, Segment, {FromStart, 9, false, ""}},
  // The video over one connection, from 0 or after the 500 or 1000 bytes an earlier run kept.
  {200, "", "video/mp4", 1000, "\"a\"", {0, {}, false}, Fresh, {FromStart, 1000, false, ""}},
  {206, "bytes 0-999/1000", "video/mp4", {}, "", {0, {}, false}, Fresh, {Continue, 1000, false, ""}},
  {206, "bytes 500-999/*", "video/mp4", 500, "\"a\"", {500, {}, false}, Earlier, {Continue, 1000, false, ""}},
  {206, "bytes 0-999/1000", "video/mp4", {}, "\"a\"", {500, {}, false}, Earlier, {StartAgain, {}, false, kNotAsked}},
  {416, "bytes */1000", "text/html", {}, "\"a\"", {1000, {}, false}, Earlier, {Continue, 1000, false, ""}},
  {416, "bytes */2000", "", {}, "", {1000, {}, false}, Earlier, {StartAgain, {}, false, "The file changed on the server: u"}},
  {200, "", "text/html; charset=utf-8", 18, "", {0, {}, false}, Fresh, {Fail, {}, false, "The server sent a text (text/html) instead of the video: u"}},
  {200, "", "video/mp4", 0, "", {0, {}, false}, Fresh, {Fail, {}, false, "The server sent an empty file: u"}},
  {200, "", "video/mp4", 900, "", {0, {}, false}, Fresh, {Fail, {}, false, "The server first announced 1000 bytes for the video, then 900 bytes: u"}},
  {200, "", "video/mp4", {}, "", {0, {}, false}, Fresh, {Fail, {}, false, "The server announced a length no file can have: u"}, "Content-Length: 18446744073709551615"},
  // Parts over several connections: the first one, later ones, and a resumed run's.
  {206, "bytes 0-499/1000", "video/mp4", {}, "\"a\"", {0, kFirstHalf, true}, Fresh, {Continue, 1000, false, ""}},
  {200, "", "video/mp4", 1000, "", {0, kFirstHalf, true}, Fresh, {WholeOnly, {}, false, "The server stopped sending parts of the file: u"}},
  {200, "", "video/mp4", 1000, "", {0, kFirstHalf, true}, ThisRun, {StartAgain, {}, false, "The server stopped sending parts of the file: u"}},
  {200, "", "", {}, "", {500, kSecondHalf, true}, ThisRun, {Fail, {}, false, "The server does not send parts of the file: u"}},
  {206, "bytes 0-499/1000", "", {}, "", {500, kSecondHalf, true}, ThisRun, {Fail, {}, false, kNotAsked}},
  {206, "bytes 500-999/*", "", 500, "\"a\"", {500, kSecondHalf, true}, ThisRun, {Fail, {}, false, "The server first announced 1000 bytes for the video, then no length: u"}},
  {206, "bytes 500-999/1000", "", {}, "\"b\"", {500, kSecondHalf, true}, ThisRun, {Fail, {}, false, "The server keeps changing the file: u"}},
  {206, "bytes 500-999/1000", "", {}, "\"b\"", {500, kSecondHalf, true}, Earlier, {StartAgain, {}, false, "The file changed on the server: u"}},
  {200, "", "video/mp4", 1000, "", {500, kSecondHalf, true}, Earlier, {StartAgain, {}, false, "The server stopped sending parts of the file: u"}},
};
// clang-format on

TEST(AnswerCheckTest, EachAnswerGetsItsDecisionAndSentence) {
  for (const Case& c : kCases) {
    SCOPED_TRACE("row " + std::to_string(&c - kCases));
    ResponseHead head{c.status, c.contentLength, c.type, c.contentRange, c.etag, "", "",
                      "",       false,           ""};
    ReadHeaderLine(head, c.line);
    const Validators kept = c.known == Fresh ? Validators{} : kProbed;
    const bool any = c.known == Any || c.known == Segment;
    const KnownFile file{any ? nullptr : &kProbed, &kept, c.known == Earlier, c.known == Segment};
    const AnswerDecision got = CheckAnswer(head, c.asked, file, "u");
    EXPECT_EQ(std::tie(got.kind, got.length, got.retry, got.message),
              std::tie(c.expected.kind, c.expected.length, c.expected.retry, c.expected.message));
  }
}

}  // namespace
}  // namespace tarnfetch
