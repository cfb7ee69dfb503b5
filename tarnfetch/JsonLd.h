#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnfetch {

// The "contentUrl" values of a JSON-LD block (schema.org VideoObject and
// AudioObject), with JSON string escapes decoded, in the order they appear.
// A light scan rather than a JSON parser: malformed blocks yield nothing
// instead of failing the page.
std::vector<std::string> JsonLdContentUrls(std::string_view json);

}  // namespace tarnfetch
