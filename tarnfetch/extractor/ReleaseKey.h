#pragma once

#include <string>
#include <string_view>

namespace tarnfetch {

// The binary key of an ASCII-armored OpenPGP key block, as gpgv's keyring
// takes it (what `gpg --dearmor` writes). Empty when the text holds none.
std::string DearmorKey(std::string_view armored);

}  // namespace tarnfetch
