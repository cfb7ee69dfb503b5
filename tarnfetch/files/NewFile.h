#pragma once

#include <functional>
#include <string>

namespace tarnfetch {

class OutputFolder;

// Makes a new file in the folder whose content fill writes to the
// descriptor it is given, and gives it finalName once it is complete: the
// file exists only unnamed until then, and taking the name never replaces
// a file already there. Throws FetchError (also what fill throws).
void WriteNewFile(const OutputFolder& folder, const std::string& finalName,
                  const std::function<void(int fd)>& fill);

}  // namespace tarnfetch
