#include "JsonLd.h"

#include "JsonMediaReader.h"

namespace tarnfetch {

namespace {
// Video metadata is small; a block larger than this is read only this far,
// so that the parser's buffers stay small whatever the page holds.
constexpr std::size_t kMaxBlockBytes = 1 << 20;
}  // namespace

std::vector<MediaCandidate> JsonLdContentUrls(std::string_view json, std::size_t maxCount) {
  return MediaInJson(json.substr(0, kMaxBlockBytes), {"contentUrl"}, maxCount);
}

}  // namespace tarnfetch
