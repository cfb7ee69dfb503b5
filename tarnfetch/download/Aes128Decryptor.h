#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace tarnfetch {

// AES-128-CBC with PKCS#7 padding, as HLS encrypts whole segments, decrypted
// piece by piece through OpenSSL's EVP interface.
class Aes128Decryptor {
 public:
  using Block = std::array<unsigned char, 16>;

  Aes128Decryptor();
  ~Aes128Decryptor();
  Aes128Decryptor(const Aes128Decryptor&) = delete;
  Aes128Decryptor& operator=(const Aes128Decryptor&) = delete;

  // Starts a new segment.
  void Begin(const Block& key, const Block& iv);
  // Appends the plain text of the next cipher bytes to out.
  void Update(const char* data, std::size_t size, std::string& out);
  // Appends the last plain bytes; false when the padding is wrong (a wrong
  // key or a damaged segment).
  bool Finish(std::string& out);

 private:
  void* context_ = nullptr;
};

}  // namespace tarnfetch
