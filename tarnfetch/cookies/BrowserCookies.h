#pragma once

#include <string_view>
#include <vector>

#include "cookies/Cookie.h"

namespace tarnfetch {

// The cookies of a browser profile, chosen as "BROWSER[:PROFILE]" (see
// shared/BrowserProfiles.h). Throws FetchError, in words the user can act
// on, for a browser tarnfetch does not know, a profile it cannot find and
// a store it cannot read.
std::vector<Cookie> ReadBrowserCookies(std::string_view choice);

}  // namespace tarnfetch
