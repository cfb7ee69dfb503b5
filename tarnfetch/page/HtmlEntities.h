#pragma once

#include <string>
#include <string_view>

namespace tarnfetch {

// Decodes character references in HTML text or attribute values: numeric
// ones ("&#39;", "&#x27;") and the named ones that occur in titles and
// addresses. Unknown or malformed references are kept as they are.
std::string DecodeHtmlEntities(std::string_view text);

}  // namespace tarnfetch
