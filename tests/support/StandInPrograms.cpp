#include "support/StandInPrograms.h"

#include <cstdlib>
#include <filesystem>

namespace quillmarsh {

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) saved_ = old;
  setenv(name_.c_str(), value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (saved_) {
    setenv(name_.c_str(), saved_->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

std::string CurrentPath() {
  const char* path = std::getenv("PATH");
  return path ? path : "";
}

StandInPrograms::StandInPrograms(const std::string& rest)
    : path_("PATH", rest.empty() ? dir_.path() : dir_.path() + ":" + rest) {}

void StandInPrograms::Script(const std::string& name, const std::string& body) {
  namespace fs = std::filesystem;
  const std::string program = dir_.file(name);
  fs::remove(program);
  if (body.empty()) return;
  WriteFile(program, "#!/bin/sh\n" + body + "\n");
  fs::permissions(program, fs::perms::owner_all);
}

void StandInPrograms::Printing(const std::string& name, const std::string& text) {
  Script(name, Cat(name + ".text", text));
}

std::string StandInPrograms::Cat(const std::string& name, const std::string& text) const {
  WriteFile(dir_.file(name), text);
  return "cat '" + dir_.file(name) + "'";
}

}  // namespace quillmarsh
