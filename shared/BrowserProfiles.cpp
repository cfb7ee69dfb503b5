#include "shared/BrowserProfiles.h"

#include <sys/stat.h>

#include <cstdlib>

#include "shared/IniFile.h"
#include "shared/Text.h"

namespace quillmarsh {
namespace {

using Family = Browser::Family;

bool IsFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string Home() {
  const char* home = std::getenv("HOME");
  return home != nullptr && home[0] == '/' ? home : "";
}

std::string ConfigFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return config;
  return Home().empty() ? "" : Home() + "/.config";
}

std::string RootPath(std::string_view root) {
  if (root.starts_with("~/")) return Home().empty() ? "" : Home() + std::string(root.substr(1));
  return ConfigFolder().empty() ? "" : ConfigFolder() + "/" + std::string(root);
}

bool HasCookieStore(const Browser& browser, const std::string& folder) {
  return IsFile(CookieDatabaseIn(browser, folder));
}

// A Path= of profiles.ini or Default= of installs.ini: relative to the
// root unless IsRelative=0 says otherwise.
std::string ProfilePath(const std::string& root, const std::string& path, bool relative) {
  return relative && !path.starts_with('/') ? root + "/" + path : path;
}

// Firefox: the installations' defaults first (installs.ini; Debian's
// firefox-esr has one of its own), then profiles.ini's.
std::optional<std::string> FirefoxDefault(const Browser& browser, const std::string& root) {
  const IniFile installs(root + "/installs.ini");
  for (const std::string& section : installs.SectionNames()) {
    const std::string path = ProfilePath(root, installs.ReadString(section, "Default", ""), true);
    if (HasCookieStore(browser, path)) return path;
  }
  const IniFile profiles(root + "/profiles.ini");
  std::optional<std::string> first;
  for (const std::string& section : profiles.SectionNames()) {
    const std::string path =
        profiles.ReadString(section, "Path", profiles.ReadString(section, "Default", ""));
    if (path.empty()) continue;
    const std::string folder =
        ProfilePath(root, path, profiles.ReadBool(section, "IsRelative", true));
    if (!HasCookieStore(browser, folder)) continue;
    const bool isDefault =
        section.starts_with("Install") || profiles.ReadBool(section, "Default", false);
    if (isDefault) return folder;
    if (!first) first = folder;
  }
  return first;
}

// Firefox: a profile by its Name= in profiles.ini.
std::optional<std::string> FirefoxNamed(const std::string& root, const std::string& name) {
  const IniFile profiles(root + "/profiles.ini");
  for (const std::string& section : profiles.SectionNames()) {
    if (profiles.ReadString(section, "Name", "") != name) continue;
    return ProfilePath(root, profiles.ReadString(section, "Path", ""),
                       profiles.ReadBool(section, "IsRelative", true));
  }
  return std::nullopt;
}

}  // namespace

const std::vector<Browser>& KnownBrowsers() {
  static const std::vector<Browser> browsers{
      {"firefox",
       "Firefox",
       Family::Firefox,
       {"~/.mozilla/firefox", "~/.mozilla/firefox-esr", "~/snap/firefox/common/.mozilla/firefox",
        "~/.var/app/org.mozilla.firefox/.mozilla/firefox"},
       ""},
      {"chromium", "Chromium", Family::Chromium, {"chromium"}, "chromium"},
      {"chrome", "Google Chrome", Family::Chromium, {"google-chrome"}, "chrome"},
      {"brave", "Brave", Family::Chromium, {"BraveSoftware/Brave-Browser"}, "brave"},
      {"edge", "Microsoft Edge", Family::Chromium, {"microsoft-edge"}, "microsoft-edge"},
      {"vivaldi", "Vivaldi", Family::Chromium, {"vivaldi"}, "vivaldi"},
      {"opera", "Opera", Family::Chromium, {"opera"}, "opera"},
  };
  return browsers;
}

const Browser* FindBrowser(std::string_view name) {
  for (const Browser& browser : KnownBrowsers()) {
    if (EqualsNoCase(browser.name, name)) return &browser;
  }
  return nullptr;
}

BrowserChoice ParseBrowserChoice(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return {LowerAscii(text), {}};
  return {LowerAscii(text.substr(0, colon)), std::string(text.substr(colon + 1))};
}

std::string CookieDatabaseIn(const Browser& browser, const std::string& folder) {
  if (browser.family == Family::Firefox) return folder + "/cookies.sqlite";
  const std::string network = folder + "/Network/Cookies";
  return IsFile(network) ? network : folder + "/Cookies";
}

std::optional<std::string> FindProfileFolder(const Browser& browser, const std::string& profile) {
  if (profile.find('/') != std::string::npos) {
    if (HasCookieStore(browser, profile)) return profile;
    return std::nullopt;
  }
  for (std::string_view rootName : browser.roots) {
    const std::string root = RootPath(rootName);
    if (root.empty()) continue;
    std::optional<std::string> folder;
    if (browser.family == Family::Chromium) {
      folder = root + "/" + (profile.empty() ? "Default" : profile);
    } else if (profile.empty()) {
      folder = FirefoxDefault(browser, root);
    } else {
      folder = FirefoxNamed(root, profile);
      if (!folder || !HasCookieStore(browser, *folder)) folder = root + "/" + profile;
    }
    if (folder && HasCookieStore(browser, *folder)) return folder;
  }
  return std::nullopt;
}

std::vector<const Browser*> BrowsersWithProfile() {
  std::vector<const Browser*> found;
  for (const Browser& browser : KnownBrowsers()) {
    if (FindProfileFolder(browser, "")) found.push_back(&browser);
  }
  return found;
}

}  // namespace quillmarsh
