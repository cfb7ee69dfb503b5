#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "download/HlsPlaylist.h"
#include "extractor/AnswerBytes.h"

namespace tarnfetch {

// One piece of a stream the extractor lists ("fragments").
struct KeptFragment {
  std::string url, path;
  std::optional<double> duration;
};

// The keys tarnfetch uses of one format of the extractor's answer, as given.
struct KeptFormat {
  // As many segments as a stream may have, and their addresses (all formats).
  static constexpr std::size_t kMaxFragments = kMaxSegments;
  static constexpr std::size_t kMaxFragmentBytes = kMaxPlaylistBytes;
  std::string url, protocol, ext, vcodec, acodec;
  std::string fragmentBaseUrl, manifestUrl;
  std::vector<KeptFragment> fragments;
  std::optional<std::uint64_t> filesize;
  std::vector<std::pair<std::string, std::string>> headers;  // string values only
};

// The keys tarnfetch uses of an answer (or of a playlist's entry).
struct KeptAnswer {
  static constexpr std::size_t kMaxRequested = 3;  // more is refused anyway
  std::string title, type;
  std::string webpageUrl;  // the video's page, where "url" may be its file
  KeptFormat own;
  bool hasRequested = false;          // "requested_formats" is a list
  std::size_t requestedCount = 0;     // its length
  std::vector<KeptFormat> requested;  // its first kMaxRequested objects
};

struct KeptKeys {
  enum class Outcome {
    Read,
    NotJson,
    TooDeep,
    TokenTooLong,
    Deadline,
    TooManyHeaders,
    TooManyFragments
  };
  static constexpr std::size_t kMaxDepth = 64;
  static constexpr std::size_t kMaxHeaders = 64;

  Outcome outcome = Outcome::NotJson;
  bool isObject = false;  // the answer is a JSON object
  KeptAnswer answer;
  bool hasEntries = false;  // "entries" is a list
  std::size_t entryCount = 0;
  std::optional<KeptAnswer> firstEntry;  // when the first entry is an object
  // The page and title of each of the first kMaxListEntries entries (from
  // the second on; the first is firstEntry); empty for a value that is no
  // object.
  struct Entry {
    std::string url, webpageUrl, title;
  };
  std::vector<Entry> entries;
};

// Reads the answer as a stream of JSON events, keeping only the keys above:
// time linear in its size, memory bounded by what is kept, nesting limited
// to kMaxDepth.
KeptKeys ReadAnswerKeys(AnswerBytes& bytes);

}  // namespace tarnfetch
