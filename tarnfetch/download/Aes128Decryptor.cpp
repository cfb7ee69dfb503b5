#include "download/Aes128Decryptor.h"

#include <openssl/evp.h>

#include <climits>
#include <new>

#include "core/FetchError.h"

namespace tarnfetch {
namespace {

EVP_CIPHER_CTX* Context(void* context) {
  return static_cast<EVP_CIPHER_CTX*>(context);
}

}  // namespace

Aes128Decryptor::Aes128Decryptor() {
  context_ = EVP_CIPHER_CTX_new();
  if (context_ == nullptr) throw std::bad_alloc();
}

Aes128Decryptor::~Aes128Decryptor() {
  EVP_CIPHER_CTX_free(Context(context_));
}

void Aes128Decryptor::Begin(const Block& key, const Block& iv) {
  if (EVP_DecryptInit_ex(Context(context_), EVP_aes_128_cbc(), nullptr, key.data(), iv.data()) !=
      1) {
    throw FetchError("The decryption could not be started.");
  }
}

void Aes128Decryptor::Update(const char* data, std::size_t size, std::string& out) {
  while (size > 0) {
    const int piece = static_cast<int>(std::min<std::size_t>(size, 1 << 20));
    const std::size_t before = out.size();
    out.resize(before + static_cast<std::size_t>(piece) + 16);
    int written = 0;
    if (EVP_DecryptUpdate(Context(context_), reinterpret_cast<unsigned char*>(&out[before]),
                          &written, reinterpret_cast<const unsigned char*>(data), piece) != 1) {
      throw FetchError("A segment could not be decrypted.");
    }
    out.resize(before + static_cast<std::size_t>(written));
    data += piece;
    size -= static_cast<std::size_t>(piece);
  }
}

bool Aes128Decryptor::Finish(std::string& out) {
  const std::size_t before = out.size();
  out.resize(before + 16);
  int written = 0;
  const bool ok =
      EVP_DecryptFinal_ex(Context(context_), reinterpret_cast<unsigned char*>(&out[before]),
                          &written) == 1;
  out.resize(before + (ok ? static_cast<std::size_t>(written) : 0));
  return ok;
}

}  // namespace tarnfetch
