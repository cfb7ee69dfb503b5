#include "cookies/FirefoxCookies.h"

#include "cookies/CookieDatabase.h"

namespace tarnfetch {
namespace {

// Firefox has written the expiry in seconds and, lately, in milliseconds;
// no cookie lives until the year 5000.
std::int64_t ExpirySeconds(std::int64_t stored) {
  constexpr std::int64_t kYear5000 = 95617584000;
  return stored > kYear5000 ? stored / 1000 : stored;
}

}  // namespace

std::vector<Cookie> ReadFirefoxCookies(const std::string& database) {
  const CookieDatabase store(database, "Firefox");
  std::vector<Cookie> cookies;
  // host: ".example.com" for a domain cookie, "example.com" for a host's.
  store.ForEachRow("SELECT host, path, isSecure, isHttpOnly, expiry, name, value FROM moz_cookies",
                   [&](sqlite3_stmt* row) {
                     Cookie cookie = CookieDatabase::RowCookie(row);
                     cookie.expires = ExpirySeconds(sqlite3_column_int64(row, 4));
                     if (!cookie.domain.empty() && !cookie.name.empty())
                       cookies.push_back(std::move(cookie));
                   });
  return cookies;
}

}  // namespace tarnfetch
