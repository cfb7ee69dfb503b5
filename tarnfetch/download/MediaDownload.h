#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/FetchOptions.h"
#include "files/Span.h"
#include "http/Validators.h"

namespace tarnfetch {

class ControlFile;
class OutputFolder;
class PartFile;
class ProgressReporter;
class StopFlag;

// Downloads one media address into "<name>.part" in the output folder and
// renames it to <name>, under the ".part"'s lock, once every byte is there.
// A file of kMinRangedBytes or more from a server that sends parts comes
// over several connections at once (RangedDownload); others over one
// (AppendedDownload), both through the transfer engine. The run's options
// give the connections (1 to 16 fixes the count, FetchOptions::kAdaptive
// lets it adapt; under a speed limit it does not grow). A
// ".part" left by an earlier run is continued only when its control file
// shows it is ours and the server still sends the same file (the stored
// validators, If-Range, and the first bytes kept fetched again and
// compared); anything else starts the file again from zero.
// An adaptive count starts where the last download from the server
// settled (HostMemory) and is remembered again; the count a download
// over several connections settled on goes out as a line of its own.
class MediaDownload {
 public:
  static constexpr std::uint64_t kMinRangedBytes = 8u << 20;
  // How much of what a ".part" holds is fetched again, from its first
  // kept byte, to show it is still the file the server sends.
  static constexpr std::size_t kComparedBytes = 64u << 10;

  MediaDownload(const OutputFolder& folder, std::string name, ProgressReporter& progress,
                const FetchOptions& options)
      : folder_(folder), name_(std::move(name)), progress_(progress), options_(options) {}

  // The page that named the media, for the Referer.
  void SetReferrerPage(std::string page) { referrerPage_ = std::move(page); }
  // Extra request headers ("Name: value") for every request, e.g. the
  // site extractor's.
  void SetHeaders(std::vector<std::string> headers) { headers_ = std::move(headers); }
  // For a piece that is used where it lies: once complete, "<name>.part"
  // and its control file stay, so that a later run finds it done.
  void KeepPartWhenDone() { keepPart_ = true; }
  // For a download running beside others: Run ends soon once stop is
  // raised.
  void SetStopFlag(const StopFlag* stop) { stop_ = stop; }

  // Returns the size of the finished file. probed: what the first look at
  // the address said. Throws FetchError; whatever was received stays in
  // the ".part" file for the next run.
  std::uint64_t Run(const std::string& url, const Validators& probed);

 private:
  bool RunInParts(PartFile& part, ControlFile& control, const std::string& url,
                  const Validators& probed, bool resume);
  bool SameFirstBytes(PartFile& part, const Span& kept, const std::string& url,
                      const Validators& probed, const Validators& earlier);

  const OutputFolder& folder_;
  std::string name_;
  ProgressReporter& progress_;
  const FetchOptions& options_;
  std::string referrerPage_;
  std::vector<std::string> headers_;
  bool keepPart_ = false;
  const StopFlag* stop_ = nullptr;
};

}  // namespace tarnfetch
