#pragma once
// What quillmarsh and tarnfetch say to each other: the markers tarnfetch
// prints on its console and quillmarsh reads back, and the settings file
// they both read. Each name is spelled here once; both programs and the
// tests take it from here.

#include <cstddef>
#include <string_view>

namespace quillmarsh {

// A value between an opening and a closing tag on one console line.
struct MarkerTag {
  std::string_view open;
  std::string_view close;
};

namespace Marker {
inline constexpr std::string_view Go = "<Go>";
inline constexpr MarkerTag Title{"<title>", "</title>"};
inline constexpr MarkerTag FileName{"<filename>", "</filename>"};
inline constexpr MarkerTag Skip{"<skip>", "</skip>"};
// "<speed> " percent "% of " size " at " speed " ETA " time "</speed>".
inline constexpr MarkerTag Speed{"<speed>", "</speed>"};
inline constexpr MarkerTag Connections{"<connections>", "</connections>"};
// A failure: the line starts so, the reason follows.
inline constexpr std::string_view ErrorPrefix = "ERROR: ";
// Follows an error line when trying the download later may help (a refused
// or reset connection, a stall, a time-out, a failed name lookup, 429, 5xx).
inline constexpr std::string_view TryLater = "<try-later>";
// One video of a list the address turned out to be:
// "<list-entry>" address " " title "</list-entry>"; the address holds no
// blank (such bytes are percent-encoded), the title may be empty.
inline constexpr MarkerTag ListEntry{"<list-entry>", "</list-entry>"};
// Ends a list's entries; nothing was downloaded:
// "<list>" entries " " skipped " " cut "</list>": the entries printed, those
// left out for want of an http(s) address, and 1 when the list went on
// beyond kMaxListEntries (else 0).
inline constexpr MarkerTag ListEnd{"<list>", "</list>"};
// A crashed Python child (the site extractor) prints this.
inline constexpr std::string_view Traceback = "Traceback";
// U+FF1C, the full-width sign printed for '<' inside a value, since a
// reader takes '<' as the start of a marker.
inline constexpr std::string_view EscapedLessThan = "\xEF\xBC\x9C";
}  // namespace Marker

// The most entries of a list tarnfetch prints.
inline constexpr std::size_t kMaxListEntries = 5000;

// The settings file and the keys of its "Config" section.
inline constexpr std::string_view kSettingsFileName = "qlmsh.ini";
namespace IniKeys {
inline constexpr std::string_view Config = "Config";
inline constexpr std::string_view PortableMode = "PortableMode";
inline constexpr std::string_view Skin = "Skin";
inline constexpr std::string_view Output = "Output";
inline constexpr std::string_view Mission = "Mission";
// Whether tarnfetch keeps the site extractor current (default on).
inline constexpr std::string_view UpdateSiteExtractor = "UpdateSiteExtractor";
// The speed limit quillmarsh hands each download (tarnfetch --limit-rate):
// bytes a second, with K, M or G; empty or 0: none.
inline constexpr std::string_view SpeedLimit = "SpeedLimit";
// Whose sign-in (cookies) downloads use: "ask" (each site, the default),
// "none", "file" (the cookie file CookieFile names) or a browser's name.
inline constexpr std::string_view SignInFrom = "SignInFrom";
inline constexpr std::string_view CookieFile = "CookieFile";
// How many downloads and conversions may run at once (1 to 16).
inline constexpr std::string_view DownloadsAtOnce = "DownloadsAtOnce";
inline constexpr std::string_view ConversionsAtOnce = "ConversionsAtOnce";
// The sites' answers to "Use your sign-in from ...?": section SignIn holds
// Count and Site1 ... SiteN, each "<site> <browser name>" or "<site> no".
inline constexpr std::string_view SignInSection = "SignIn";
inline constexpr std::string_view SignInCount = "Count";
inline constexpr std::string_view SignInSite = "Site";
}  // namespace IniKeys

}  // namespace quillmarsh
