#include "shared/ByteRate.h"

#include <charconv>
#include <cmath>

namespace quillmarsh {

std::optional<std::uint64_t> ParseByteRate(std::string_view text) {
  double unit = 1;
  if (!text.empty()) {
    switch (text.back()) {
      case 'k':
      case 'K':
        unit = 1024.0;
        break;
      case 'm':
      case 'M':
        unit = 1024.0 * 1024;
        break;
      case 'g':
      case 'G':
        unit = 1024.0 * 1024 * 1024;
        break;
      default:
        break;
    }
    if (unit > 1) text.remove_suffix(1);
  }
  // Digits, then at most one point with digits after it: no sign, no
  // exponent, no blanks.
  const auto point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  const auto digits = [](std::string_view part) {
    return !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
  };
  if (!digits(whole) || (point != std::string_view::npos && !digits(fraction))) return std::nullopt;
  double number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  const double bytes = std::floor(number * unit);
  if (!(bytes < 9.2e18)) return std::nullopt;
  return static_cast<std::uint64_t>(bytes);
}

}  // namespace quillmarsh
