#pragma once
// The skin is a Qt style sheet file ("default.skn" next to the program
// unless the settings name another).

#include <QString>
#include <string>

namespace quillmarsh {

// The style sheet of the skin file; empty when it cannot be read.
QString LoadSkin(const std::string& skinFile);

// The skin file in use, set once at start-up. Message boxes read it anew
// at every call.
void SetCurrentSkinFile(const std::string& skinFile);
const std::string& CurrentSkinFile();

}  // namespace quillmarsh
