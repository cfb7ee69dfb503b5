#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarnfetch {

// The user's address, checked and normalised: surrounding blanks removed,
// inner blanks encoded, only http and https accepted. Throws FetchError.
std::string CheckUserUrl(std::string_view text);

// An address found in a page, made absolute against the page's address.
// Empty when it cannot be parsed; the scheme is not checked here.
std::optional<std::string> ResolveUrl(std::string_view base, std::string_view reference);

// True for absolute http and https addresses.
bool IsWebUrl(std::string_view url);

// The last part of the address's path, percent-decoded ("a%20b.mp4" gives
// "a b.mp4"); empty when the path ends in "/".
std::string UrlFileName(std::string_view url);

// The Referer a browser sends for a request to target made from page: the
// full page address (without user name, password or fragment) to the same
// origin, only its origin ("https://host/") to another, nothing from an
// https page to an http address.
std::string RefererFor(std::string_view page, std::string_view target);

// True when both are web addresses of the same scheme, host and port.
bool SameOrigin(std::string_view a, std::string_view b);

// The lower-case extension of UrlFileName, without the dot; may be empty.
std::string UrlFileExtension(std::string_view url);

// The server an address leads to, as "host:port" in lower case (the
// scheme's port when none is given): what one server's connection count
// is remembered under. Empty when the address cannot be parsed.
std::string ServerName(std::string_view url);

}  // namespace tarnfetch
