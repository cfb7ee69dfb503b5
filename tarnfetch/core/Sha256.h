#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tarnfetch {

// SHA-256 of bytes that come in pieces, as lower-case hex.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Add(std::string_view bytes);
  std::string Hex();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

std::string Sha256Hex(std::string_view bytes);

}  // namespace tarnfetch
