#include "cookies/ChromiumCookies.h"

#include <optional>

#include "cookies/ChromiumDecrypt.h"
#include "cookies/CookieDatabase.h"
#include "core/FetchError.h"

namespace tarnfetch {
namespace {

// Chromium counts microseconds from 1601-01-01.
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;

// The keys a value may be encrypted with, asked for only when needed: the
// secret service may take a moment, or not be there.
class ChromiumKeys {
 public:
  explicit ChromiumKeys(const quillmarsh::Browser& browser) : browser_(browser) {}

  std::optional<std::string> Decrypt(const std::string& stored, const std::string& host) {
    const std::string_view version = std::string_view(stored).substr(0, 3);
    const std::string_view encrypted = std::string_view(stored).substr(3);
    // Without a secret store Chromium takes "peanuts"; some versions an
    // empty password when the store did not answer.
    if (version == "v10") return First(encrypted, host, {ChromiumKey("peanuts"), ChromiumKey("")});
    if (version != "v11") return std::nullopt;
    if (!secretKey_) {
      const auto password = SecretServicePassword(browser_.secretApplication);
      secretKey_ = password ? ChromiumKey(*password) : std::string();
    }
    return secretKey_->empty() ? First(encrypted, host, {ChromiumKey("")})
                               : First(encrypted, host, {*secretKey_, ChromiumKey("")});
  }

 private:
  static std::optional<std::string> First(std::string_view encrypted, const std::string& host,
                                          std::initializer_list<std::string> keys) {
    for (const std::string& key : keys) {
      if (auto value = DecryptChromiumValue(encrypted, key, host)) return value;
    }
    return std::nullopt;
  }

  const quillmarsh::Browser& browser_;
  std::optional<std::string> secretKey_;
};

}  // namespace

std::vector<Cookie> ReadChromiumCookies(const std::string& database,
                                        const quillmarsh::Browser& browser) {
  const CookieDatabase store(database, std::string(browser.display));
  ChromiumKeys keys(browser);
  std::vector<Cookie> cookies;
  int locked = 0;
  store.ForEachRow(
      "SELECT host_key, path, is_secure, is_httponly, expires_utc, name, value, encrypted_value "
      "FROM cookies",
      [&](sqlite3_stmt* row) {
        Cookie cookie = CookieDatabase::RowCookie(row);
        const std::int64_t expires = sqlite3_column_int64(row, 4);
        cookie.expires = expires > 0 ? expires / 1000000 - kSecondsFrom1601To1970 : 0;
        const std::string encrypted = CookieDatabase::Text(row, 7);
        if (!encrypted.empty()) {
          auto value = keys.Decrypt(encrypted, cookie.domain);
          if (!value) {
            ++locked;
            return;
          }
          cookie.value = std::move(*value);
        }
        if (!cookie.domain.empty() && !cookie.name.empty()) cookies.push_back(std::move(cookie));
      });
  if (locked > 0 && cookies.empty()) {
    throw FetchError(
        "Could not decrypt the cookies of " + std::string(browser.display) +
        ": they are locked with a key that is neither Chromium's built-in one nor in the "
        "desktop's secret service (GNOME Keyring and the like; KWallet is not read). "
        "Export them to a cookie file and use --cookies FILE instead.");
  }
  return cookies;
}

}  // namespace tarnfetch
