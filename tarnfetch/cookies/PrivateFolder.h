#pragma once

#include <string>

namespace tarnfetch {

// A new folder in the temporary folder ($TMPDIR, else /tmp) that only the
// user may enter (mode 0700), removed with everything in it when the
// object goes. Should the process be killed first, the folder stays closed
// to everyone else. Throws FetchError when it cannot be made.
class PrivateFolder {
 public:
  explicit PrivateFolder(const std::string& purpose);
  ~PrivateFolder();
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace tarnfetch
