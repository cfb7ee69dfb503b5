#pragma once

#include <string>
#include <string_view>

namespace tarnfetch {

// Replaces the user name and password of every address in the text
// ("https://user:pw@host/") and the value of every cookie header
// ("Cookie: a=b" and "Set-Cookie: a=b", to the end of the line) with "***",
// so that no printed line shows them.
std::string HideSecrets(std::string_view text);

}  // namespace tarnfetch
