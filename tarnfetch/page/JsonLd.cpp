#include "page/JsonLd.h"

#include <array>

#include "page/JsonMediaReader.h"

namespace tarnfetch {

namespace {
// Video metadata is small; a block larger than this is read only this far,
// so that the parser's buffers stay small whatever the page holds.
constexpr std::size_t kMaxBlockBytes = 1 << 20;
}  // namespace

std::vector<MediaCandidate> JsonLdContentUrls(std::string_view json, std::size_t maxCount) {
  static constexpr std::array<std::string_view, 1> kKeys{"contentUrl"};
  return MediaInJson(json.substr(0, kMaxBlockBytes), kKeys, maxCount);
}

std::vector<MediaCandidate> JsonLdEmbedUrls(std::string_view json, std::size_t maxCount) {
  static constexpr std::array<std::string_view, 1> kKeys{"embedUrl"};
  return MediaInJson(json.substr(0, kMaxBlockBytes), kKeys, maxCount);
}

}  // namespace tarnfetch
