#pragma once

#include <string>
#include <vector>

#include "cookies/Cookie.h"
#include "shared/BrowserProfiles.h"

namespace tarnfetch {

// The cookies in a Chromium-family `Cookies` database, read from a copy,
// their values decrypted (ChromiumDecrypt.h). Throws FetchError when the
// store cannot be read, or when it holds encrypted values and none of them
// opens with the built-in key or the browser's key from the desktop's
// secret service (KWallet and other stores are not read).
std::vector<Cookie> ReadChromiumCookies(const std::string& database,
                                        const quillmarsh::Browser& browser);

}  // namespace tarnfetch
