#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <optional>
#include <string_view>

namespace tarnfetch {

// The bytes of the site extractor's answer, from memory or from a file, for
// the JSON reader one at a time. The reader holds a text or number whole
// while it reads it, and the brackets after it until the next one, so the
// bytes end early when such a run is longer than kMaxTokenBytes; they also
// end once the deadline has passed.
class AnswerBytes {
 public:
  static constexpr std::size_t kMaxTokenBytes = 1u << 20;
  enum class Stop { None, TokenTooLong, Deadline };

  explicit AnswerBytes(std::string_view text) : text_(text) {}
  AnswerBytes(std::FILE* file, std::chrono::steady_clock::time_point deadline)
      : file_(file), deadline_(deadline) {}

  int Next();  // EOF at the end and when stopped
  Stop Stopped() const { return stop_; }

  // An input iterator over Next(), as the JSON reader takes its input.
  class Iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    Iterator() = default;
    explicit Iterator(AnswerBytes* bytes) : bytes_(bytes) { ++*this; }
    reference operator*() const { return value_; }
    Iterator& operator++() {
      const int next = bytes_->Next();
      atEnd_ = next == EOF;
      value_ = static_cast<char>(next);
      return *this;
    }
    bool operator==(const Iterator& other) const { return atEnd_ == other.atEnd_; }
    bool operator!=(const Iterator& other) const { return atEnd_ != other.atEnd_; }

   private:
    AnswerBytes* bytes_ = nullptr;
    char value_ = 0;
    bool atEnd_ = true;
  };
  Iterator begin() { return Iterator(this); }
  Iterator end() { return Iterator(); }

 private:
  int Raw();
  bool Track(char c);  // false when a token runs too long

  std::string_view text_;
  std::size_t at_ = 0;
  std::FILE* file_ = nullptr;
  std::optional<std::chrono::steady_clock::time_point> deadline_;
  std::size_t sinceClockCheck_ = 0;
  bool inString_ = false;
  bool escaped_ = false;
  bool betweenValues_ = true;
  std::size_t run_ = 0;
  Stop stop_ = Stop::None;
};

}  // namespace tarnfetch
