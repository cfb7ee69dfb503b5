#pragma once

#include <string>
#include <string_view>

namespace tarnfetch {

// How the bytes of a page's text are read. Pages declared Latin-1 are read
// as windows-1252, as browsers do; everything else as UTF-8.
enum class PageEncoding { Utf8, Windows1252 };

// The encoding a page declares: the charset of its Content-Type, else a
// <meta charset> or <meta http-equiv="Content-Type"> near its top.
PageEncoding DeclaredEncoding(std::string_view contentType, std::string_view html);

// The text as UTF-8. Bytes that are invalid in UTF-8 are left for
// ToValidUtf8 to replace.
std::string ToUtf8(std::string_view text, PageEncoding encoding);

}  // namespace tarnfetch
