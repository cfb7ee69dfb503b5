#include "http/ContentRange.h"

#include <charconv>
#include <limits>

namespace tarnfetch {
namespace {

std::optional<std::uint64_t> Number(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  // Past what an off_t holds no file can reach: a damaged answer.
  if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<ContentRange> ParseContentRange(std::string_view value) {
  constexpr std::string_view kUnit = "bytes ";
  if (value.substr(0, kUnit.size()) != kUnit) return std::nullopt;
  value.remove_prefix(kUnit.size());
  const auto slash = value.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view range = value.substr(0, slash);
  const std::string_view length = value.substr(slash + 1);

  ContentRange result;
  if (length != "*") {
    result.completeLength = Number(length);
    if (!result.completeLength) return std::nullopt;
  }
  if (range == "*") return result.completeLength ? std::optional(result) : std::nullopt;
  const auto dash = range.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  result.first = Number(range.substr(0, dash));
  result.last = Number(range.substr(dash + 1));
  if (!result.first || !result.last || *result.last < *result.first) return std::nullopt;
  if (result.completeLength && *result.last >= *result.completeLength) return std::nullopt;
  return result;
}

}  // namespace tarnfetch
