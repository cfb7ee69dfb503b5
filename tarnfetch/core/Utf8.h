#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnfetch {

// True when the bytes form valid UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);

// The text with every byte that is not part of a valid sequence replaced by
// U+FFFD, one for each such byte, as browsers show them. Text in another
// encoding is converted first (see PageEncoding.h).
std::string ToValidUtf8(std::string_view text);

// The longest prefix of at most maxBytes bytes that does not cut a character.
std::string CutUtf8(std::string_view text, std::size_t maxBytes);

// Appends the UTF-8 form of a code point; invalid ones become U+FFFD.
void AppendUtf8(std::string& out, unsigned long codePoint);

}  // namespace tarnfetch
