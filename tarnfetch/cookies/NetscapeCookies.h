#pragma once
// The Netscape cookie-file format that curl and the site extractor read and
// write: one cookie a line, seven fields separated by tabs (domain,
// subdomains TRUE/FALSE, path, secure TRUE/FALSE, expiry in seconds, name,
// value); "#HttpOnly_" before the domain marks an HttpOnly cookie, other
// lines starting with '#' are comments.

#include <string>
#include <string_view>
#include <vector>

#include "cookies/Cookie.h"

namespace tarnfetch {

// The cookies of a file's text; lines that are not cookies are skipped.
std::vector<Cookie> ParseNetscapeCookies(std::string_view text);

// One line, without its line break.
std::string NetscapeLine(const Cookie& cookie);

// Reads a cookie file. Throws FetchError when it cannot be read or holds
// no cookie (the message names the file, never a value).
std::vector<Cookie> ReadCookieFile(const std::string& path);

// Writes the cookies to a new file only the user may read (mode 0600);
// throws FetchError when it cannot.
void WriteCookieFile(const std::string& path, const std::vector<Cookie>& cookies);

}  // namespace tarnfetch
