#pragma once
// The web addresses in a pasted or dropped text: every "http://" or
// "https://" address, whatever words surround it. Plain C++.

#include <string>
#include <string_view>
#include <vector>

namespace quillmarsh {

// In text order, repeats kept (the batch refuses them). An address begins
// with its scheme (any letter case) at the start of a word and ends at a
// blank, a control character, a quote or an angle bracket; a full stop,
// comma and the like at its end, or a closing bracket it did not open,
// belong to the sentence around it.
std::vector<std::string> AddressesInText(std::string_view text);

}  // namespace quillmarsh
