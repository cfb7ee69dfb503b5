#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarnfetch {

class ControlFile;
struct ProbeResult;
struct ResponseHead;

// What identifies the file on the server: a ".part" is continued only
// while the server still sends the same file.
struct Validators {
  std::optional<std::uint64_t> length;
  std::string etag;
  std::string lastModified;
  // FileAddress of where it came from; empty: not known (an answer's).
  std::string address;
  // The text type (bare) the probe found media bytes under: answers of
  // that type are this file, not an error page. Empty: text is refused.
  std::string mediaSentAsText = {};
};

// The part of an address that names a file: without its query, where
// tokens change from run to run, and its fragment.
std::string FileAddress(const std::string& url);

// The validators of an answer, with the whole file's length as it says.
Validators AnswerValidators(const ResponseHead& head, std::optional<std::uint64_t> length,
                            std::string address = {});

// The validators the probe saw, with the file's address.
Validators ProbedValidators(const ProbeResult& probe);

// True when the answer is known to be the same file as the stored one:
// every validator both sides have agrees, and at least one pair exists.
// An answer with an address is another file's unless the stored one is
// the same: two files may well have the same length and no validators.
bool SameFile(const Validators& stored, const Validators& answer);

// The If-Range value for a resume, empty when there is none usable (a weak
// ETag cannot be used).
std::string IfRangeValue(const Validators& stored);

// The validators kept in a ".part"'s control file.
void StoreValidators(ControlFile& control, const Validators& validators);
Validators StoredValidators(const ControlFile& control);

}  // namespace tarnfetch
