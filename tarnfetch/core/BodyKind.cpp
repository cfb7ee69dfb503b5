#include "core/BodyKind.h"

#include <algorithm>
#include <string>

#include "core/MediaSniff.h"
#include "core/MediaType.h"

namespace tarnfetch {
namespace {

// Types that say only "bytes".
bool IsGenericContentType(std::string_view bare) {
  return bare == "application/octet-stream" || bare == "binary/octet-stream" ||
         bare == "application/binary" || bare == "application/x-download" ||
         bare == "application/force-download";
}

// A playlist or manifest is a stream, whatever the server calls it.
BodyKind MediaUnlessStream(std::string_view head) {
  return LooksLikeStreamText(head) ? BodyKind::Stream : BodyKind::Media;
}

// A playlist or manifest served as text: its start says so. Only a real
// <MPD> root counts here, as feeds begin with an XML declaration too.
bool StartsAsStream(std::string_view head) {
  std::string_view start = head.starts_with("\xEF\xBB\xBF") ? head.substr(3) : head;
  start.remove_prefix(std::min(start.find_first_not_of(" \t\r\n"), start.size()));
  if (start.starts_with("#EXTM3U")) return true;
  if (start.starts_with("<?xml")) {
    const std::size_t end = start.find("?>");
    if (end == std::string_view::npos) return false;
    start.remove_prefix(end + 2);
  }
  return !start.starts_with("<?xml") && LooksLikeDashManifest(start);
}

}  // namespace

BodyKind ClassifyBody(const BodyClues& clues) {
  const std::string bare = BareContentType(clues.contentType);
  const std::string declared = BareContentType(clues.declaredType);
  if (!IsStreamContentType(bare) && LooksLikeMediaStart(clues.head)) return BodyKind::Media;
  if (IsStreamContentType(bare) ||
      (IsStreamExtension(clues.extension) && !IsPageContentType(bare))) {
    return BodyKind::Stream;
  }
  if (IsMediaContentType(bare) ||
      (!IsTextualContentType(bare) && IsMediaExtension(clues.extension))) {
    return MediaUnlessStream(clues.head);
  }
  if (IsGenericContentType(bare) && IsStreamContentType(declared)) return BodyKind::Stream;
  if (IsGenericContentType(bare) && IsMediaContentType(declared) && !LooksLikeText(clues.head)) {
    return MediaUnlessStream(clues.head);
  }
  if (IsPageContentType(bare) || bare.starts_with("text/") ||
      (!clues.vouchedMedia && (bare.empty() || IsFeedContentType(bare)))) {
    return StartsAsStream(clues.head) ? BodyKind::Stream : BodyKind::Page;
  }
  return clues.vouchedMedia ? BodyKind::Media : BodyKind::Unknown;
}

}  // namespace tarnfetch
