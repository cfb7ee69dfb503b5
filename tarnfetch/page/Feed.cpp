#include "page/Feed.h"

#include "page/FetchableAddress.h"

namespace tarnfetch {

bool Feed::StartItem() {
  if (items.size() == kMaxItems) return false;
  items.emplace_back();
  return true;
}

void Feed::AddMedia(MediaCandidate candidate) {
  if (items.empty() || candidate.address.size() > kMaxAddressBytes) return;
  const bool usable =
      (IsFetchableAddress(candidate.address) || !StreamProtocolName(candidate.address).empty()) &&
      !IsClearlyNotMedia(candidate.address);
  const std::size_t room = items.size() == 1 ? kMaxMediaPerItem : 1;
  if (usable && items.back().media.size() < room)
    items.back().media.push_back(std::move(candidate));
}

}  // namespace tarnfetch
