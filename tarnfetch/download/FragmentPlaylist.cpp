#include "download/FragmentPlaylist.h"

#include <cstdio>

#include "core/FetchError.h"
#include "download/HlsPlaylist.h"
#include "http/Url.h"

namespace tarnfetch {

std::string PlaylistUri(std::string_view uri) {
  std::string out;
  for (std::size_t i = 0; i < uri.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(uri[i]);
    if (c <= ' ' || c == 0x7F || c == '"' || (i == 0 && c == '#')) {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      out += escaped;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

std::string FragmentPlaylist(const std::string& base,
                             const std::vector<StreamFragment>& fragments) {
  if (fragments.empty()) throw FetchError("The site extractor's stream lists no pieces.");
  if (fragments.size() > kMaxSegments) {
    throw FetchError("The site extractor's stream has more than 100,000 pieces.");
  }
  const auto whole = [&base](const std::string& address) {
    const auto resolved = ResolveUrl(base, address);
    if (!resolved || !IsWebUrl(*resolved)) {
      throw FetchError("The site extractor gave an address that is not http or https: " +
                       address.substr(0, 200));
    }
    return PlaylistUri(*resolved);
  };
  std::string text = "#EXTM3U\n#EXT-X-VERSION:7\n#EXT-X-PLAYLIST-TYPE:VOD\n";
  std::size_t first = 0;
  const bool initFirst = fragments.size() > 1 && !fragments[0].seconds && fragments[1].seconds;
  if (initFirst) {
    text += "#EXT-X-MAP:URI=\"" + whole(fragments[0].address) + "\"\n";
    first = 1;
  }
  for (std::size_t i = first; i < fragments.size(); ++i) {
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.6f", fragments[i].seconds.value_or(0));
    text += "#EXTINF:" + std::string(duration) + ",\n" + whole(fragments[i].address) + "\n";
  }
  text += "#EXT-X-ENDLIST\n";
  if (text.size() > kMaxPlaylistBytes) {
    throw FetchError("The site extractor's stream lists more pieces than can be kept.");
  }
  return text;
}

}  // namespace tarnfetch
