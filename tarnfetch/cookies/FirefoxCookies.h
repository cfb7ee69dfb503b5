#pragma once

#include <string>
#include <vector>

#include "cookies/Cookie.h"

namespace tarnfetch {

// The cookies in Firefox's cookies.sqlite (table moz_cookies), read from a
// copy. Throws FetchError when the store cannot be read.
std::vector<Cookie> ReadFirefoxCookies(const std::string& database);

}  // namespace tarnfetch
