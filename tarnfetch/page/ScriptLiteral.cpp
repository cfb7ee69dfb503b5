#include "page/ScriptLiteral.h"

#include <cmath>
#include <cstdlib>

#include "core/Utf8.h"

namespace tarnfetch {
namespace {

constexpr int kMaxDepth = 64;

bool IsIdentifierChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class Converter {
 public:
  explicit Converter(std::string_view text) : text_(text) {}

  std::string Run() {
    SkipBlanks();
    if (pos_ >= text_.size() || (text_[pos_] != '{' && text_[pos_] != '[')) return {};
    Value(0);
    return std::move(out_);
  }

 private:
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

  // Blanks and comments.
  void SkipBlanks() {
    while (!AtEnd()) {
      const char c = text_[pos_];
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
        ++pos_;
      } else if (text_.substr(pos_, 2) == "//") {
        const std::size_t end = text_.find('\n', pos_);
        pos_ = end == std::string_view::npos ? text_.size() : end + 1;
      } else if (text_.substr(pos_, 2) == "/*") {
        const std::size_t end = text_.find("*/", pos_ + 2);
        pos_ = end == std::string_view::npos ? text_.size() : end + 2;
      } else {
        return;
      }
    }
  }

  void Value(int depth) {
    SkipBlanks();
    const char c = Peek();
    if ((c == '{' || c == '[') && depth < kMaxDepth) {
      c == '{' ? Object(depth + 1) : Array(depth + 1);
      if (depth == 0) return;
    } else if (c == '"' || c == '\'' || c == '`') {
      String();
    } else if ((c >= '0' && c <= '9') || c == '-' || c == '.') {
      Number();
    } else {
      const std::size_t start = pos_;
      while (!AtEnd() && IsIdentifierChar(text_[pos_])) ++pos_;
      const std::string_view word = text_.substr(start, pos_ - start);
      pos_ = start;
      if (word == "true" || word == "false" || word == "null") {
        out_.append(word);
        pos_ += word.size();
      } else {
        out_ += "null";
      }
    }
    // Whatever follows up to the next separator is code ("a" + b,
    // function bodies, calls): passed over. After the outermost literal
    // there is nothing more to read.
    if (depth > 0) SkipExpression();
  }

  // Reads the members of an object or array up to `close`, calling `member`
  // at the first character of each. Each round moves on; one that cannot
  // (a stray ")") ends the literal.
  template <class Member>
  void Members(char close, Member member) {
    for (std::size_t before = std::string_view::npos; pos_ != before;) {
      before = pos_;
      SkipBlanks();
      if (AtEnd()) break;
      const char c = text_[pos_];
      if (c == close) {
        ++pos_;
        break;
      }
      if (c == ',') {
        ++pos_;
        continue;
      }
      member(c);
    }
  }

  void Object(int depth) {
    ++pos_;  // "{"
    out_ += '{';
    bool first = true;
    Members('}', [&](char c) {
      std::string key;
      if (c == '"' || c == '\'' || c == '`') {
        const std::size_t mark = out_.size();
        String();
        key = out_.substr(mark);
        out_.resize(mark);
      } else if (IsIdentifierChar(c)) {
        const std::size_t start = pos_;
        while (!AtEnd() && IsIdentifierChar(text_[pos_])) ++pos_;
        key = Quoted(text_.substr(start, pos_ - start));
      } else {  // spread, computed key: not data
        SkipExpression();
        return;
      }
      SkipBlanks();
      if (!first) out_ += ',';
      first = false;
      out_ += key;
      out_ += ':';
      if (Peek() == ':') {
        ++pos_;
        Value(depth);
      } else {  // shorthand { a } or method a() {}
        out_ += "null";
        SkipExpression();
      }
    });
    out_ += '}';
  }

  void Array(int depth) {
    ++pos_;  // "["
    out_ += '[';
    bool first = true;
    Members(']', [&](char) {
      if (!first) out_ += ',';
      first = false;
      Value(depth);
    });
    out_ += ']';
  }

  static std::string Quoted(std::string_view word) {
    std::string quoted = "\"";
    quoted.append(word);
    return quoted + '"';
  }

  // A quoted or template string, written as a JSON string.
  void String() {
    const char quote = text_[pos_++];
    out_ += '"';
    while (!AtEnd()) {
      const char c = text_[pos_++];
      if (c == quote) break;
      if (c == '\\') {
        if (!AtEnd()) Escape();  // a lone one at the very end is dropped
      } else if (c == '"') {
        out_ += "\\\"";
      } else if (static_cast<unsigned char>(c) < 0x20) {
        AppendCodeUnit(static_cast<unsigned char>(c));
      } else {
        out_ += c;
      }
    }
    out_ += '"';
  }

  void Escape() {
    const char c = text_[pos_++];
    switch (c) {
      case 'n':
        out_ += "\\n";
        break;
      case 't':
        out_ += "\\t";
        break;
      case 'r':
        out_ += "\\r";
        break;
      case 'b':
        out_ += "\\b";
        break;
      case 'f':
        out_ += "\\f";
        break;
      case '"':
        out_ += "\\\"";
        break;
      case '\\':
        out_ += "\\\\";
        break;
      case '\n':
        break;  // a line continued
      case 'x':
      case 'u': {
        const std::size_t digits = c == 'x' ? 2 : 4;
        unsigned value = 0;
        std::size_t read = 0;
        while (read < digits && pos_ + read < text_.size() && HexValue(text_[pos_ + read]) >= 0) {
          value = value * 16 + static_cast<unsigned>(HexValue(text_[pos_ + read]));
          ++read;
        }
        if (read < digits) {  // not an escape after all
          out_ += c;
          break;
        }
        pos_ += read;
        CodeUnit(value);
        break;
      }
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          AppendCodeUnit(static_cast<unsigned char>(c));
        } else {
          out_ += c;  // \' \/ and the like stand for the character itself
        }
        break;
    }
  }

  // JSON takes surrogates only in pairs; a lone one becomes U+FFFD.
  void CodeUnit(unsigned unit) {
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high && text_.substr(pos_, 2) == "\\u" && pos_ + 6 <= text_.size()) {
      unsigned next = 0;
      for (std::size_t i = pos_ + 2; i < pos_ + 6; ++i) {
        const int digit = HexValue(text_[i]);
        next = digit < 0 ? 0 : next * 16 + static_cast<unsigned>(digit);
      }
      if (next >= 0xDC00 && next <= 0xDFFF) {
        AppendCodeUnit(unit);
        AppendCodeUnit(next);
        pos_ += 6;
        return;
      }
    }
    AppendCodeUnit(high || low ? 0xFFFD : unit);
  }

  // A UTF-16 code unit as a JSON escape.
  void AppendCodeUnit(unsigned unit) {
    static constexpr char kHex[] = "0123456789abcdef";
    out_ += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out_ += kHex[(unit >> shift) & 0xF];
  }

  void Number() {
    const std::size_t start = pos_;
    while (!AtEnd() && (IsIdentifierChar(text_[pos_]) || text_[pos_] == '.' || text_[pos_] == '-' ||
                        text_[pos_] == '+')) {
      ++pos_;
    }
    const std::string number(text_.substr(start, pos_ - start));
    // JSON's own form only: no hex, no leading zeros, no bare dots, nothing
    // too large for a double (the parser refuses those).
    const std::size_t digits = number.starts_with('-') ? 1 : 0;
    const auto isDigit = [&](std::size_t i) {
      return i < number.size() && number[i] >= '0' && number[i] <= '9';
    };
    char* end = nullptr;
    const double value = std::strtod(number.c_str(), &end);
    const bool plain = std::isfinite(value) && isDigit(digits) &&
                       !(number[digits] == '0' && isDigit(digits + 1)) && *end == '\0' &&
                       number.find_first_of("xXnN_") == std::string::npos && number.back() != '.' &&
                       number.find(".e") == std::string::npos &&
                       number.find(".E") == std::string::npos;
    out_ += plain ? number : "null";
  }

  // Moves to the next ",", "}" or "]" outside any bracket or string.
  void SkipExpression() {
    int nesting = 0;
    while (!AtEnd()) {
      SkipBlanks();
      if (AtEnd()) break;
      const char c = text_[pos_];
      if (nesting == 0 && (c == ',' || c == '}' || c == ']')) return;
      if (c == '"' || c == '\'' || c == '`') {
        SkipString();
        continue;
      }
      if (c == '{' || c == '[' || c == '(') ++nesting;
      if (c == '}' || c == ']' || c == ')') --nesting;
      if (nesting < 0) return;  // the end of the call the literal was in
      ++pos_;
    }
  }

  void SkipString() {
    const char quote = text_[pos_++];
    while (!AtEnd()) {
      const char c = text_[pos_++];
      if (c == '\\') {
        ++pos_;
      } else if (c == quote) {
        return;
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::string out_;
};

}  // namespace

std::string ScriptLiteralToJson(std::string_view text) {
  return Converter(text).Run();
}

}  // namespace tarnfetch
