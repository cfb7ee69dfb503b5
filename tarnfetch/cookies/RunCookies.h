#pragma once

#include <memory>
#include <string>

#include "cookies/CookieJar.h"

namespace tarnfetch {

// The user's cookies for this run: set once, before any request or thread
// starts, and read wherever a request or the site extractor is set up.
// Null: the run sends none of the user's cookies.
void SetRunCookies(std::shared_ptr<const CookieJar> jar);
const CookieJar* RunCookies();

// Reads the cookies the command line names: a cookie file, or a browser
// profile ("BROWSER[:PROFILE]"); null when it names neither. Throws
// FetchError when they cannot be read.
std::shared_ptr<const CookieJar> LoadCookies(const std::string& cookieFile,
                                             const std::string& browserChoice);

}  // namespace tarnfetch
