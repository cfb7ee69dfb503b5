#include "cookies/ChromiumDecrypt.h"

#include <libsecret/secret.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <memory>

namespace tarnfetch {
namespace {

constexpr int kKeyBytes = 16;
constexpr unsigned char kIv[16] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                   ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};

struct CipherFree {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

// AES-128-CBC with PKCS#7 padding; none when the padding is wrong, which is
// how a wrong key shows.
std::optional<std::string> RunCipher(std::string_view in, const std::string& key, bool encrypt) {
  std::unique_ptr<EVP_CIPHER_CTX, CipherFree> context(EVP_CIPHER_CTX_new());
  if (!context || key.size() != kKeyBytes ||
      EVP_CipherInit_ex(context.get(), EVP_aes_128_cbc(), nullptr,
                        reinterpret_cast<const unsigned char*>(key.data()), kIv,
                        encrypt ? 1 : 0) != 1) {
    return std::nullopt;
  }
  std::string out(in.size() + 16, '\0');
  int written = 0;
  int last = 0;
  auto* target = reinterpret_cast<unsigned char*>(out.data());
  if (EVP_CipherUpdate(context.get(), target, &written,
                       reinterpret_cast<const unsigned char*>(in.data()),
                       static_cast<int>(in.size())) != 1 ||
      EVP_CipherFinal_ex(context.get(), target + written, &last) != 1) {
    return std::nullopt;
  }
  out.resize(static_cast<std::size_t>(written + last));
  return out;
}

std::string Sha256(std::string_view text) {
  std::string digest(SHA256_DIGEST_LENGTH, '\0');
  SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
         reinterpret_cast<unsigned char*>(digest.data()));
  return digest;
}

}  // namespace

std::string ChromiumKey(std::string_view password) {
  static constexpr std::string_view kSalt = "saltysalt";
  std::string key(kKeyBytes, '\0');
  PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()),
                         reinterpret_cast<const unsigned char*>(kSalt.data()),
                         static_cast<int>(kSalt.size()), 1, kKeyBytes,
                         reinterpret_cast<unsigned char*>(key.data()));
  return key;
}

std::optional<std::string> DecryptChromiumValue(std::string_view encrypted, const std::string& key,
                                                std::string_view host) {
  std::optional<std::string> value = RunCipher(encrypted, key, false);
  if (value && value->size() >= SHA256_DIGEST_LENGTH &&
      value->compare(0, SHA256_DIGEST_LENGTH, Sha256(host)) == 0) {
    value->erase(0, SHA256_DIGEST_LENGTH);
  }
  return value;
}

std::string EncryptChromiumValue(std::string_view value, const std::string& key,
                                 std::string_view host) {
  return RunCipher(Sha256(host) + std::string(value), key, true).value_or("");
}

std::optional<std::string> SecretServicePassword(std::string_view application) {
  // The schemas under which the Chromium family keeps its key; only the
  // "application" attribute tells the browsers apart.
  for (const char* schemaName :
       {"chrome_libsecret_os_crypt_password_v2", "chrome_libsecret_os_crypt_password_v1"}) {
    const SecretSchema schema = {schemaName,
                                 SECRET_SCHEMA_DONT_MATCH_NAME,
                                 {{"application", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                  {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                 0,
                                 nullptr,
                                 nullptr,
                                 nullptr,
                                 nullptr,
                                 nullptr,
                                 nullptr,
                                 nullptr};
    GError* error = nullptr;
    const std::string app(application);
    gchar* password =
        secret_password_lookup_sync(&schema, nullptr, &error, "application", app.c_str(), nullptr);
    if (error != nullptr) {
      g_error_free(error);
      return std::nullopt;  // no secret service on this desktop
    }
    if (password != nullptr) {
      std::string found(password);
      secret_password_free(password);
      return found;
    }
  }
  return std::nullopt;
}

}  // namespace tarnfetch
