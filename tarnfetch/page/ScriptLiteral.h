#pragma once

#include <string>
#include <string_view>

namespace tarnfetch {

// Players are set up with JavaScript object literals, not JSON: unquoted
// keys, single quotes, trailing commas, comments, functions. This turns the
// literal that starts text ("{" or "[") into JSON text that keeps its data
// (objects, arrays, strings, numbers, true, false, null); any value that is
// code (a function, a variable, an expression) becomes null. Reads at most
// to the literal's end; nesting deeper than a sane configuration is read as
// null. Returns an empty string when text does not start with a literal.
std::string ScriptLiteralToJson(std::string_view text);

}  // namespace tarnfetch
