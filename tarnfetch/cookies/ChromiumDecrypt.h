#pragma once
// Cookie values as the Chromium family encrypts them on Linux: "v10" with a
// key derived from the fixed password "peanuts" (no secret store, or
// --password-store=basic), "v11" with a key derived from the password the
// browser keeps in the desktop's secret service. Keys: PBKDF2-HMAC-SHA1,
// one iteration, salt "saltysalt", 16 bytes; values: AES-128-CBC with an IV
// of 16 blanks and PKCS#7 padding. Since its database version 24 Chromium
// puts the SHA-256 of the cookie's host before the value.

#include <optional>
#include <string>
#include <string_view>

namespace tarnfetch {

// The 16-byte key for a password.
std::string ChromiumKey(std::string_view password);

// The value decrypted with key (the "v10"/"v11" prefix already taken off),
// or none when the key does not fit. host: the cookie's host_key, whose
// SHA-256 is taken off the front when it is there.
std::optional<std::string> DecryptChromiumValue(std::string_view encrypted, const std::string& key,
                                                std::string_view host);

// Encrypts as Chromium does (with the host's SHA-256 first), for tests.
std::string EncryptChromiumValue(std::string_view value, const std::string& key,
                                 std::string_view host);

// The browser's password in the desktop's secret service (libsecret),
// under the application name it stores it with; none when there is no
// service or no such password.
std::optional<std::string> SecretServicePassword(std::string_view application);

}  // namespace tarnfetch
