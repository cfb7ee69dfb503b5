#pragma once
// Invariant checks shared by the fuzz targets and the tests that replay
// their inputs. A failed check ends a fuzz run (the fuzzer keeps the input);
// a test installs its own handler to report the failure instead.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

using FailureHandler = void (*)(const char* condition, const char* file, int line);

inline void AbortOnFailure(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
  std::abort();
}

inline FailureHandler& OnFailure() {
  static FailureHandler handler = AbortOnFailure;
  return handler;
}

inline bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// No characters of code 32 or below at either end.
inline bool IsTrimmed(std::string_view text) {
  return text.empty() || (static_cast<unsigned char>(text.front()) > 32 &&
                          static_cast<unsigned char>(text.back()) > 32);
}

// Splits an input into the chunks a capture loop would hand over: reads of
// at most `readSize` bytes, each cut at its first zero byte.
template <typename Fn>
void ForEachChunk(std::string_view data, std::size_t readSize, Fn&& fn) {
  for (std::size_t pos = 0; pos < data.size(); pos += readSize) {
    std::string chunk(data.substr(pos, readSize));
    if (const auto zero = chunk.find('\0'); zero != std::string::npos) chunk.resize(zero);
    fn(std::move(chunk));
  }
}

}  // namespace fuzz

#define FUZZ_CHECK(condition)                                              \
  do {                                                                     \
    if (!(condition)) ::fuzz::OnFailure()(#condition, __FILE__, __LINE__); \
  } while (0)
