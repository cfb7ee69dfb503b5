#pragma once

#include <memory>
#include <string>

#include "cookies/CookieJar.h"

namespace tarnfetch {

// Reads the cookies the command line names: a cookie file, or a browser
// profile ("BROWSER[:PROFILE]"); null when it names neither. Throws
// FetchError when they cannot be read.
std::shared_ptr<const CookieJar> LoadCookies(const std::string& cookieFile,
                                             const std::string& browserChoice);

}  // namespace tarnfetch
