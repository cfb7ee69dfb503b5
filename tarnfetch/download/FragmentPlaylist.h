#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnfetch {

// One piece of a stream as a site extractor lists it: an address of its own
// or a path under the stream's base address.
struct StreamFragment {
  std::string address;  // absolute, or relative to the base
  std::optional<double> seconds;
};

// An HLS media playlist of the fragments, in order, for the stream path to
// fetch, resume and join; addresses resolved against `base`. A first
// fragment without a duration while the others have one is the
// initialisation section. Throws FetchError when a fragment's address
// cannot be resolved or there are more than the stream path takes.
std::string FragmentPlaylist(const std::string& base, const std::vector<StreamFragment>& fragments);

// An address as a playlist line: characters that would end the line or open
// a tag are percent-encoded.
std::string PlaylistUri(std::string_view uri);

}  // namespace tarnfetch
