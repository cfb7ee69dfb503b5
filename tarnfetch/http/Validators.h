#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarnfetch {

class ControlFile;
struct ResponseHead;

// What identifies the file on the server: a ".part" is continued only
// while the server still sends the same file.
struct Validators {
  std::optional<std::uint64_t> length;
  std::string etag;
  std::string lastModified;
};

// The validators of an answer, with the whole file's length as it says.
Validators AnswerValidators(const ResponseHead& head, std::optional<std::uint64_t> length);

// True when the answer is known to be the same file as the stored one:
// every validator both sides have agrees, and at least one pair exists.
bool SameFile(const Validators& stored, const Validators& answer);

// The If-Range value for a resume, empty when there is none usable (a weak
// ETag cannot be used).
std::string IfRangeValue(const Validators& stored);

// The validators kept in a ".part"'s control file.
void StoreValidators(ControlFile& control, const Validators& validators);
Validators StoredValidators(const ControlFile& control);

}  // namespace tarnfetch
