#pragma once
// The web addresses given on the command line: `quillmarsh URL...`. Each
// argument is read as a pasted text is; options (a leading "-") are the
// toolkit's and are passed over with the value of those that take one.
// Plain C++.

#include <string>
#include <vector>

namespace quillmarsh {

struct AddressArguments {
  std::vector<std::string> urls;     // in order, as AddressesInText finds them
  std::vector<std::string> refused;  // arguments without an address, or not UTF-8
  bool any() const { return !urls.empty() || !refused.empty(); }
};

AddressArguments AddressesInArguments(int argc, const char* const* argv);

}  // namespace quillmarsh
