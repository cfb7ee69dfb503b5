#pragma once

#include <optional>
#include <string_view>

#include "page/Feed.h"

namespace tarnfetch {

// An XML feed or playlist, told by its root element:
// - RSS 2.0 <rss>: each <item>'s <enclosure url type>, and Media RSS
//   <media:content url type height bitrate> (also inside <media:group>);
// - Atom <feed>: each <entry>'s <link rel="enclosure" href type>;
// - XSPF <playlist>: each <track>'s <location> and <title>;
// - SMIL <smil>: one item, its <video>, <audio> and <ref> src (with
//   system-bitrate, height), relative to <meta base> when that is given.
// Nothing when the text is another document (an XHTML page). Read as
// expat streams it; entity declarations and any fault end the reading,
// keeping what came before.
std::optional<Feed> ReadXmlFeed(std::string_view xml);

}  // namespace tarnfetch
