#include "report/Units.h"

#include <cmath>
#include <cstdio>

namespace tarnfetch {
namespace {

std::string WithUnit(double value, const char* suffix) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
  std::size_t unit = 0;
  while (value >= 1024.0 && unit + 1 < std::size(kUnits)) {
    value /= 1024.0;
    ++unit;
  }
  char text[48];
  std::snprintf(text, sizeof text, "%.1f%s%s", value, kUnits[unit], suffix);
  return text;
}

}  // namespace

std::string FormatSize(std::optional<std::uint64_t> bytes) {
  if (!bytes) return "Unknown";
  return WithUnit(static_cast<double>(*bytes), "");
}

std::string FormatSpeed(std::optional<double> bytesPerSecond) {
  if (!bytesPerSecond || !std::isfinite(*bytesPerSecond) || *bytesPerSecond < 0) return "Unknown";
  return WithUnit(*bytesPerSecond, "/s");
}

std::string FormatEta(std::optional<double> seconds) {
  // Beyond 99 hours the figure means nothing to anyone.
  if (!seconds || !std::isfinite(*seconds) || *seconds < 0 || *seconds >= 99 * 3600.0) {
    return "Unknown";
  }
  const auto total = static_cast<long>(std::ceil(*seconds));
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                  total % 60);
  } else {
    std::snprintf(text, sizeof text, "%02ld:%02ld", total / 60, total % 60);
  }
  return text;
}

std::string FormatPercent(std::uint64_t done, std::optional<std::uint64_t> total) {
  if (!total || *total == 0) return "0.0";
  if (done >= *total) return "99.9";
  // Tenths, computed in integers so that rounding can never reach 100.
  const auto tenths = static_cast<unsigned>(static_cast<long double>(done) * 1000 / *total);
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u", tenths / 10, tenths % 10);
  return text;
}

}  // namespace tarnfetch
