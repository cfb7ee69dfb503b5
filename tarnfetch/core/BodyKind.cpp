#include "core/BodyKind.h"

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
    return BodyKind::Page;
  }
  return clues.vouchedMedia ? BodyKind::Media : BodyKind::Unknown;
}

}  // namespace tarnfetch
