#pragma once

#include <stdexcept>
#include <string>

namespace tarnfetch {

// A failure the user should read: the message is printed after "ERROR: "
// as it is, so it is written in plain words and says what went wrong.
class FetchError : public std::runtime_error {
 public:
  explicit FetchError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace tarnfetch
