#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "files/Span.h"

namespace tarnfetch {

class OutputFolder;

// What a download records beside its ".part" so that a killed run continues
// only what is missing: the byte ranges (or segments) already written and
// named values such as the answer's validators. Saved atomically (a
// temporary file beside it, renamed over), so a kill leaves either the old
// or the new record. Use it only while holding the ".part"'s lock.
class ControlFile {
 public:
  using Clock = std::chrono::steady_clock;
  using Span = tarnfetch::Span;

  // "<final name>.part.ctl"; a long name is shortened (with a hash of the
  // whole) so that the record and its temporary stay valid file names.
  static std::string NameFor(const std::string& finalName);

  ControlFile(const OutputFolder& folder, const std::string& finalName);

  // Reads what an earlier run saved. False, with an empty record, when
  // there is none or it is damaged: then nothing recorded can be trusted.
  bool Load();

  void Set(const std::string& key, const std::string& value);
  std::optional<std::string> Get(const std::string& key) const;

  // Records [first, end) as written; neighbouring spans merge.
  void AddDone(std::uint64_t first, std::uint64_t end);
  const std::vector<Span>& Done() const { return done_; }
  std::uint64_t DoneBytes() const { return SpanBytes(done_); }
  // Forgets everything recorded (values and spans).
  void Clear();

  // Writes the record now. Throws FetchError.
  void Save();
  // Writes it when it changed and a second has passed since the last write.
  void SaveIfDue();
  // Removes the record, once the download is complete.
  void Remove();

 private:
  const OutputFolder& folder_;
  std::string name_;
  std::map<std::string, std::string> values_;
  std::vector<Span> done_;
  bool changed_ = false;
  Clock::time_point saved_{};
};

}  // namespace tarnfetch
