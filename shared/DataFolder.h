#pragma once
// Where Quillmarsh keeps its settings file and data, found the same way by
// Quillmarsh and by tarnfetch (which is given no such path). Plain C++.

#include <string>

namespace quillmarsh {

// The program's folder (ending in '/') in portable mode, that is when the
// settings file there says PortableMode=1; otherwise "Quillmarsh/" in the
// user's data folder ($XDG_DATA_HOME when absolute, else ~/.local/share).
// Ends in '/'. Empty when neither is known.
std::string DataFolderFor(const std::string& programFolder);

}  // namespace quillmarsh
