#include "http/ContentRange.h"

#include <cstdint>
#include <limits>

#include "shared/Numbers.h"

namespace tarnfetch {
namespace {

// Past what an off_t holds no file can reach: a damaged answer.
std::optional<std::uint64_t> Number(std::string_view text) {
  const auto value = quillmarsh::ReadWholeNumber<std::uint64_t>(text);
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
