#pragma once
// Stand-in programs for a test: a folder of scripts put first on PATH, and
// any environment variable set for a scope. Both restore what was there
// however the scope ends, a failed assertion included.

#include <optional>
#include <string>

#include "support/TempDir.h"

namespace quillmarsh {

class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;  // none: it was not set
};

// PATH as it is now.
std::string CurrentPath();

class StandInPrograms {
 public:
  // The folder, then `rest`.
  explicit StandInPrograms(const std::string& rest = CurrentPath());

  // A shell script called `name` running `body`; an empty body removes it.
  void Script(const std::string& name, const std::string& body);
  // A program called `name` that prints `text`.
  void Printing(const std::string& name, const std::string& text);
  // A shell command that prints `text`, kept in a file of the folder.
  std::string Cat(const std::string& name, const std::string& text) const;

  const std::string& Dir() const { return dir_.path(); }

 private:
  TempDir dir_;
  ScopedEnv path_;
};

}  // namespace quillmarsh
