#pragma once

#include <string>
#include <string_view>

namespace tarnfetch {

// The server an address leads to, as "host:port" in lower case (the
// scheme's port when none is given): what one server's connection count
// is remembered under. Empty when the address cannot be parsed.
std::string ServerName(std::string_view url);

}  // namespace tarnfetch
