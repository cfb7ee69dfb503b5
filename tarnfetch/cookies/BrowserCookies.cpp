#include "cookies/BrowserCookies.h"

#include "cookies/ChromiumCookies.h"
#include "cookies/FirefoxCookies.h"
#include "core/FetchError.h"
#include "shared/BrowserProfiles.h"

namespace tarnfetch {

using quillmarsh::Browser;

std::vector<Cookie> ReadBrowserCookies(std::string_view choiceText) {
  const quillmarsh::BrowserChoice choice = quillmarsh::ParseBrowserChoice(choiceText);
  const Browser* browser = quillmarsh::FindBrowser(choice.browser);
  if (browser == nullptr) {
    std::string names;
    for (const Browser& known : quillmarsh::KnownBrowsers()) {
      names.append(names.empty() ? "" : ", ").append(known.name);
    }
    throw FetchError("tarnfetch cannot read the cookies of \"" + choice.browser +
                     "\"; it reads those of " + names + ".");
  }
  const auto folder = quillmarsh::FindProfileFolder(*browser, choice.profile);
  if (!folder) {
    throw FetchError("No " + std::string(browser->display) + " profile " +
                     (choice.profile.empty() ? std::string("was found")
                                             : "\"" + choice.profile + "\" was found") +
                     " that holds cookies.");
  }
  const std::string database = quillmarsh::CookieDatabaseIn(*browser, *folder);
  return browser->family == Browser::Family::Firefox ? ReadFirefoxCookies(database)
                                                     : ReadChromiumCookies(database, *browser);
}

}  // namespace tarnfetch
