#pragma once

#include <string_view>

#include "page/Feed.h"

namespace tarnfetch {

// A player's JSON playlist, as JW Player's feeds are written:
//   {"title": "...", "playlist": [{"title": "...", "sources": [{"file":
//   "...", "type": "video/mp4", "height": 720, "label": "720p"}]}]}
// or a bare array of such items; an item may name its "file" itself. Read
// without building it in memory; reading stops at the first syntax error,
// keeping what came before it.
Feed ReadJsonFeed(std::string_view json);

// True when the text is JSON rather than a page: it starts with "{" or "["
// after blanks and a byte-order mark.
bool LooksLikeJson(std::string_view text);

}  // namespace tarnfetch
