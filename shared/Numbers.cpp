#include "shared/Numbers.h"

#include <charconv>
#include <cmath>

namespace quillmarsh {

bool ParseDecimal(std::string_view text, double& value) {
  if (text.empty()) return false;
  if (text.front() == '+') text.remove_prefix(1);
  double v = 0;
  const auto [ptr, ec] =
      std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
  if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(v)) return false;
  value = v;
  return true;
}

bool ParseInt32(std::string_view text, int& value) {
  if (text.empty()) return false;
  if (text.front() == '+') text.remove_prefix(1);
  int v = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || ptr != text.data() + text.size()) return false;
  value = v;
  return true;
}

}  // namespace quillmarsh
