// Shared by the tarnfetch tests not yet on the shared fixture.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/ConsoleProcess.h"
#include "support/TarnfetchTest.h"

namespace tarnfetch_test {

class TempFolder {
 public:
  fs::path Path() const { return dir_.path(); }

 private:
  TempDir dir_;
};

inline std::string Lower(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace tarnfetch_test
