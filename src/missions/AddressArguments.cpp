#include "missions/AddressArguments.h"

#include <QUtf8StringView>
#include <algorithm>
#include <array>
#include <string_view>

#include "missions/AddressesInText.h"

namespace quillmarsh {

namespace {
// The toolkit's command-line options that take the next argument as value.
bool TakesValue(std::string_view option) {
  static constexpr std::array<std::string_view, 14> kWithValue{
      "platform",        "platformpluginpath",
      "platformtheme",   "plugin",
      "qwindowgeometry", "geometry",
      "qwindowicon",     "icon",
      "qwindowtitle",    "title",
      "display",         "style",
      "stylesheet",      "session"};
  const std::size_t name = option.find_first_not_of('-');
  if (name == std::string_view::npos) return false;
  option.remove_prefix(name);
  return option.find('=') == std::string_view::npos &&
         std::find(kWithValue.begin(), kWithValue.end(), option) != kWithValue.end();
}
}  // namespace

AddressArguments AddressesInArguments(int argc, const char* const* argv) {
  AddressArguments given;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument.size() > 1 && argument.front() == '-') {
      if (TakesValue(argument)) ++i;
      continue;
    }
    const bool utf8 = QUtf8StringView(argument.data(), qsizetype(argument.size())).isValidUtf8();
    const std::vector<std::string> found =
        utf8 ? AddressesInText(argument) : std::vector<std::string>{};
    if (found.empty()) given.refused.emplace_back(argument);
    given.urls.insert(given.urls.end(), found.begin(), found.end());
  }
  return given;
}

}  // namespace quillmarsh
