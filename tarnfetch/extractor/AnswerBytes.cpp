#include "extractor/AnswerBytes.h"

namespace tarnfetch {
namespace {

// Brackets, separators and blanks: between the values.
bool IsStructure(char c) {
  switch (c) {
    case '{':
    case '}':
    case '[':
    case ']':
    case ':':
    case ',':
    case ' ':
    case '\t':
    case '\r':
    case '\n':
      return true;
    default:
      return false;
  }
}

}  // namespace

int AnswerBytes::Raw() {
  if (file_ == nullptr) {
    return at_ < text_.size() ? static_cast<unsigned char>(text_[at_++]) : EOF;
  }
  // Reading a file costs nothing like a look at the clock per byte.
  if (++sinceClockCheck_ == 1u << 16) {
    sinceClockCheck_ = 0;
    if (std::chrono::steady_clock::now() > *deadline_) {
      stop_ = Stop::Deadline;
      return EOF;
    }
  }
  return std::getc(file_);
}

// The reader keeps every byte from the start of its last text, number or
// word (true, false, null), also the brackets after it: the run counts them.
bool AnswerBytes::Track(char c) {
  if (inString_) {
    if (escaped_) {
      escaped_ = false;
    } else if (c == '\\') {
      escaped_ = true;
    } else if (c == '"') {
      inString_ = false;
      betweenValues_ = true;
    }
  } else if (c == '"') {
    inString_ = true;
    run_ = 0;
  } else if (IsStructure(c)) {
    betweenValues_ = true;
  } else {
    if (betweenValues_) run_ = 0;
    betweenValues_ = false;
  }
  return ++run_ <= kMaxTokenBytes;
}

int AnswerBytes::Next() {
  if (stop_ != Stop::None) return EOF;
  const int c = Raw();
  if (c == EOF) return EOF;
  if (!Track(static_cast<char>(c))) {
    stop_ = Stop::TokenTooLong;
    return EOF;
  }
  return c;
}

}  // namespace tarnfetch
