#pragma once
// tarnfetch's reading of a server's answer head. The input is the head's
// lines as libcurl hands them over one by one. Whatever is read must be a
// length a file can have and a range inside it.

#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "http/ContentRange.h"
#include "http/HttpTransfer.h"

namespace fuzz {

inline void CheckRange(std::string_view value) {
  const auto range = tarnfetch::ParseContentRange(value);
  if (!range) return;
  FUZZ_CHECK(range->first.has_value() == range->last.has_value());
  if (range->first) FUZZ_CHECK(*range->first <= *range->last);
  if (range->completeLength) {
    FUZZ_CHECK(*range->completeLength <= INT64_MAX);
    if (range->last) FUZZ_CHECK(*range->last < *range->completeLength);
  } else {
    FUZZ_CHECK(range->first.has_value());
  }
}

inline void RunHttpHead(std::string_view data) {
  tarnfetch::ResponseHead head;
  for (std::size_t start = 0; start < data.size();) {
    const std::size_t end = std::min(data.find('\n', start), data.size() - 1) + 1;
    tarnfetch::ReadHeaderLine(head, data.substr(start, end - start));
    start = end;
  }
  if (head.contentLength) FUZZ_CHECK(*head.contentLength <= INT64_MAX);
  CheckRange(head.contentRange);
  CheckRange(data);
}

}  // namespace fuzz
