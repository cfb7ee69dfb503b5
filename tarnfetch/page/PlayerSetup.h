#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "page/MediaCandidate.h"

namespace tarnfetch {

// The addresses a web player is set up with, with the quality the setup
// states for each, in the order they appear. `config` is a configuration
// attribute (video.js data-setup, Plyr data-plyr-config): JSON or a script
// literal. At most maxCount.
std::vector<MediaCandidate> PlayerAttributeAddresses(std::string_view config, std::size_t maxCount);

// The same for an inline script: the object literals handed to the common
// players' set-up calls (JW Player setup(), video.js videojs() and src(),
// Flowplayer flowplayer(), Plyr's new Plyr() and source =), and the
// addresses handed to dash.js (initialize(), attachSource()) and Shaka
// Player (load()).
std::vector<MediaCandidate> PlayerScriptAddresses(std::string_view script, std::size_t maxCount);

// The feeds a JW Player set-up names as its playlist ("playlist": "URL"):
// pages of their own, read like frames. At most maxCount.
std::vector<std::string> PlayerFeedAddresses(std::string_view script, std::size_t maxCount);

// Last resort: quoted http(s) addresses in a script whose path ends in a
// media or playlist extension, then quoted relative addresses of streams
// (".m3u8", ".mpd": a player handed a variable), with JSON's escaped
// slashes ("\/") read as slashes. At most maxCount.
std::vector<std::string> ScriptMediaAddresses(std::string_view script, std::size_t maxCount);

}  // namespace tarnfetch
