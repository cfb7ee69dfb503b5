#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarnfetch {

// Texts for the progress line. Quillmarsh cuts them out between the words
// "of", "at" and "ETA", so none of them may hold those words or "%".

// "8.0MiB"; "Unknown" without a value.
std::string FormatSize(std::optional<std::uint64_t> bytes);

// "1.2MiB/s"; "Unknown" when nothing has been measured yet.
std::string FormatSpeed(std::optional<double> bytesPerSecond);

// "00:05", "01:02:03"; "Unknown" without a value.
std::string FormatEta(std::optional<double> seconds);

// The share of an unfinished file with one decimal, truncated and kept below
// 100: Quillmarsh takes 100 as "done", which only the renamed file may say.
std::string FormatPercent(std::uint64_t done, std::optional<std::uint64_t> total);

}  // namespace tarnfetch
