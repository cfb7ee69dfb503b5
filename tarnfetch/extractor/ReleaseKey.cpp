#include "extractor/ReleaseKey.h"

#include <openssl/evp.h>

#include <memory>

namespace tarnfetch {

std::string DearmorKey(std::string_view armored) {
  const std::string_view begin = "-----BEGIN PGP PUBLIC KEY BLOCK-----";
  std::size_t at = armored.find(begin);
  if (at == std::string_view::npos) return {};
  // Armor headers ("Comment: ...") end at the first empty line.
  std::string base64;
  bool inBody = false;
  at = armored.find('\n', at);
  while (at != std::string_view::npos && at + 1 < armored.size()) {
    const std::size_t next = armored.find('\n', at + 1);
    std::string_view line = armored.substr(
        at + 1, next == std::string_view::npos ? std::string_view::npos : next - at - 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    at = next;
    if (line.starts_with("-----END") || (inBody && line.starts_with('='))) break;
    if (!inBody) {
      inBody = line.empty() || line.find(':') == std::string_view::npos;
      if (!inBody || line.empty()) continue;
    }
    base64 += line;
  }
  std::string binary(base64.size() / 4 * 3 + 3, '\0');
  std::unique_ptr<EVP_ENCODE_CTX, decltype(&EVP_ENCODE_CTX_free)> context(EVP_ENCODE_CTX_new(),
                                                                          EVP_ENCODE_CTX_free);
  int written = 0;
  int last = 0;
  EVP_DecodeInit(context.get());
  if (EVP_DecodeUpdate(context.get(), reinterpret_cast<unsigned char*>(binary.data()), &written,
                       reinterpret_cast<const unsigned char*>(base64.data()),
                       static_cast<int>(base64.size())) < 0 ||
      EVP_DecodeFinal(context.get(), reinterpret_cast<unsigned char*>(binary.data()) + written,
                      &last) != 1) {
    return {};
  }
  binary.resize(static_cast<std::size_t>(written + last));
  return binary;
}

}  // namespace tarnfetch
