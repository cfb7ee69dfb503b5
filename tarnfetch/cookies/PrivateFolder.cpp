#include "cookies/PrivateFolder.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/FetchError.h"

namespace tarnfetch {

PrivateFolder::PrivateFolder(const std::string& purpose) {
  const char* temp = std::getenv("TMPDIR");
  std::string name = std::string(temp != nullptr && temp[0] == '/' ? temp : "/tmp") +
                     "/tarnfetch-" + purpose + "-XXXXXX";
  // mkdtemp makes it with mode 0700.
  if (::mkdtemp(name.data()) == nullptr) {
    throw FetchError("Could not make a private temporary folder for the cookies: " +
                     std::string(std::strerror(errno)) + ".");
  }
  path_ = name;
}

PrivateFolder::~PrivateFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace tarnfetch
