#pragma once
// Where the browsers keep their profiles on this desktop, for reading the
// user's sign-in (cookies) from them. Shared so that Quillmarsh offers only
// the browsers tarnfetch can read. Plain C++.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmarsh {

struct Browser {
  enum class Family { Firefox, Chromium };
  std::string_view name;     // as the user writes it: "firefox", "chrome" ...
  std::string_view display;  // as the user reads it: "Firefox", "Google Chrome" ...
  Family family;
  // Folders that hold its profiles, below the home folder ("~/...") or the
  // configuration folder ("$XDG_CONFIG_HOME/...", written without "~/").
  std::vector<std::string_view> roots;
  // The "application" under which the browser keeps its cookie key in the
  // desktop's secret service (Chromium family only).
  std::string_view secretApplication;
};

// Every browser whose cookies can be read: firefox, chromium, chrome,
// brave, edge, vivaldi, opera.
const std::vector<Browser>& KnownBrowsers();
const Browser* FindBrowser(std::string_view name);

// "BROWSER[:PROFILE]" as the user writes it.
struct BrowserChoice {
  std::string browser;
  std::string profile;  // empty: the browser's default profile
};
BrowserChoice ParseBrowserChoice(std::string_view text);

// The folder of a profile that holds the browser's cookie store, or none.
// profile: empty for the default one (Firefox: the installation's default
// in installs.ini, else profiles.ini's; Chromium: "Default"), a name
// (Firefox: a profile's Name= or folder; Chromium: a folder under the
// root) or a path (anything holding a '/').
std::optional<std::string> FindProfileFolder(const Browser& browser, const std::string& profile);

// The cookie database in a profile folder: Firefox's cookies.sqlite;
// Chromium's Network/Cookies, or Cookies in older versions.
std::string CookieDatabaseIn(const Browser& browser, const std::string& folder);

// The browsers with a default profile that holds a cookie store, in the
// order of KnownBrowsers().
std::vector<const Browser*> BrowsersWithProfile();

}  // namespace quillmarsh
