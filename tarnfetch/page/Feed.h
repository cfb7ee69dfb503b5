#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "page/MediaCandidate.h"

namespace tarnfetch {

// One item of a feed or playlist: an episode, a track, a video.
struct FeedItem {
  std::string title;
  std::vector<MediaCandidate> media;  // as the feed lists them
};

// A feed or playlist read as a page (RSS and Atom enclosures, SMIL, XSPF,
// a player's JSON playlist). Only the first item keeps all its media (it
// is the video); the others keep their first, for a list of them. Titles
// and addresses are cut to what real ones need, so a hostile feed stays
// small.
struct Feed {
  static constexpr std::size_t kMaxItems = 500;
  static constexpr std::size_t kMaxMediaPerItem = 16;
  static constexpr std::size_t kMaxAddressBytes = 8192;
  static constexpr std::size_t kMaxTitleBytes = 1024;

  std::string title;
  std::vector<FeedItem> items;

  // Starts the next item; false when there is no room for it.
  bool StartItem();
  // Adds to the last item what it may keep: an address of a fetchable or
  // named stream, not too long, within the item's share.
  void AddMedia(MediaCandidate candidate);
};

}  // namespace tarnfetch
