#pragma once
// TimeToSeconds against a reference reading of ffmpeg's time texts: exactly
// 11 characters "h:m:s", hours and minutes plain digits, seconds digits with
// an optional "." and fraction. Anything else is -1.

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "convert/FfmpegText.h"

namespace fuzz {

using namespace quillmarsh;

inline bool IsDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// Digits, exactly as many as `text` holds, read without any library parser.
inline double DigitsValue(std::string_view text) {
  double value = 0;
  for (char c : text) value = value * 10 + (c - '0');
  return value;
}

inline std::optional<double> ReferenceSeconds(std::string_view text) {
  if (text.size() != 11) return std::nullopt;
  const auto first = text.find(':');
  if (first == std::string_view::npos) return std::nullopt;
  const auto second = text.find(':', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const std::string_view h = text.substr(0, first);
  const std::string_view m = text.substr(first + 1, second - first - 1);
  const std::string_view s = text.substr(second + 1);
  if (!IsDigits(h) || !IsDigits(m)) return std::nullopt;
  const auto dot = s.find('.');
  const std::string_view whole = s.substr(0, dot);
  const std::string_view fraction = dot == std::string_view::npos ? "" : s.substr(dot + 1);
  if (!IsDigits(whole) || (!fraction.empty() && !IsDigits(fraction))) return std::nullopt;
  const double seconds =
      DigitsValue(whole) + DigitsValue(fraction) / std::pow(10.0, double(fraction.size()));
  return DigitsValue(h) * 3600 + DigitsValue(m) * 60 + seconds;
}

inline bool Close(double a, double b) {
  return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

inline void CheckTimeToSeconds(std::string_view text) {
  const double got = TimeToSeconds(text);
  FUZZ_CHECK(got == -1 || (std::isfinite(got) && got >= 0));
  const auto expected = ReferenceSeconds(text);
  if (expected) {
    FUZZ_CHECK(got != -1 && Close(got, *expected));
  } else {
    FUZZ_CHECK(got == -1);
  }
}

inline void RunTimeToSeconds(std::string_view data) {
  CheckTimeToSeconds(data);
  if (data.size() > 11) CheckTimeToSeconds(data.substr(0, 11));
  // A well-formed time built from the first bytes reads back as its value.
  if (data.size() >= 4) {
    const auto byte = [&](int i) { return static_cast<unsigned char>(data[i]); };
    const int h = byte(0) % 100, m = byte(1) % 60, s = byte(2) % 60, f = byte(3) % 100;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%02d", h, m, s, f);
    const double got = TimeToSeconds(text);
    FUZZ_CHECK(Close(got, h * 3600.0 + m * 60.0 + s + f / 100.0));
  }
}

}  // namespace fuzz
