// Which addresses a pasted or dropped text holds.
#include <gtest/gtest.h>

#include "missions/AddressesInText.h"

namespace quillmarsh {

TEST(AddressesInText, TakesEveryWebAddressAndNothingElse) {
  using List = std::vector<std::string>;
  const struct {
    const char* text;
    List addresses;
  } cases[] = {
      {"see http://host/a", {"http://host/a"}},
      {"  https://h/1 \r\n\nhttps://h/2\thttps://h/1",
       {"https://h/1", "https://h/2", "https://h/1"}},
      {"HTTPS://H/Big", {"HTTPS://H/Big"}},
      {"end of sentence https://h/a. Or https://h/b?, https://h/c!",
       {"https://h/a", "https://h/b", "https://h/c"}},
      {"(https://h/wiki/A_(b)) [https://h/c]", {"https://h/wiki/A_(b)", "https://h/c"}},
      {"<a href=\"https://h/q?x=1&y=2#f\">'https://h/s'</a>",
       {"https://h/q?x=1&y=2#f", "https://h/s"}},
      {"no address here", {}},
      {"ftp://h/x file:///tmp/y mailto:a@b", {}},
      {"xhttp://glued https:// http://", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(AddressesInText(c.text), c.addresses) << c.text;
}

}  // namespace quillmarsh
