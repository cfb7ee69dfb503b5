#include "app/Arguments.h"

#include <cstdlib>
#include <memory>
#include <string_view>

#include "shared/ByteRate.h"
#include "shared/Numbers.h"
#include "shared/Text.h"

namespace tarnfetch {
namespace {

// A proxy libcurl takes: one of these schemes, then a host, without blanks
// or control characters.
bool IsProxyAddress(std::string_view text) {
  const auto colon = text.find("://");
  if (colon == std::string_view::npos || colon + 3 == text.size()) return false;
  const std::string scheme = quillmarsh::LowerAscii(text.substr(0, colon));
  if (scheme != "http" && scheme != "https" && scheme != "socks5" && scheme != "socks5h") {
    return false;
  }
  for (const char c : text) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) return false;
  }
  return true;
}

// Only tests shorten the stall rule, so that a stall can be tried in seconds.
long StallSeconds() {
  const char* value = std::getenv("TARNFETCH_TEST_STALL_SECONDS");
  const long seconds = value ? quillmarsh::ReadWholeNumber<long>(value).value_or(0) : 0;
  return seconds > 0 ? seconds : FetchOptions::kStallSeconds;
}

// Reads the option at argv[i] (and its value, moving i past it) into
// options; returns what is wrong, or nothing.
std::string ReadOption(int argc, const char* const* argv, int& i, FetchOptions& options) {
  const std::string_view option = argv[i];
  const bool hasValue = i + 1 < argc;
  const std::string_view value = hasValue ? argv[i + 1] : "";
  if (option != "-p" && option != "--connections" && option != "--limit-rate" &&
      option != "--proxy" && option != "--cookies" && option != "--cookies-from-browser") {
    return "Unknown argument \"" + std::string(option) +
           "\". Run \"tarnfetch --help\" for the usage.";
  }
  if (hasValue) ++i;
  if (option == "-p") {
    if (!hasValue) return "The option -p needs an output path template after it.";
    options.pathTemplate = value;
  } else if (option == "--connections") {
    const int number = quillmarsh::ReadWholeNumber<int>(value).value_or(0);
    if (number < 1 || number > 16) {
      return "The option --connections needs a number from 1 to 16 after it.";
    }
    options.connections = number;
  } else if (option == "--limit-rate") {
    const auto rate = quillmarsh::ParseByteRate(value);
    if (!rate) {
      return "The option --limit-rate needs a speed in bytes a second after it, such as 500K or "
             "2M.";
    }
    options.rateLimit = *rate > 0 ? std::make_shared<RateLimit>(*rate) : nullptr;
  } else if (option == "--cookies" || option == "--cookies-from-browser") {
    if (value.empty()) {
      return "The option " + std::string(option) + " needs " +
             (option == "--cookies" ? "a cookie file" : "a browser") + " after it.";
    }
    (option == "--cookies" ? options.cookieFile : options.cookiesFromBrowser) = value;
  } else {
    if (!IsProxyAddress(value)) {
      return "The option --proxy needs a proxy address after it, such as "
             "http://proxy.example:3128 or socks5h://127.0.0.1:1080.";
    }
    options.proxy = value;
  }
  return {};
}

}  // namespace

Arguments ParseArguments(int argc, const char* const* argv) {
  Arguments args;
  args.options.stallSeconds = StallSeconds();
  if (argc < 2) {
    args.problem = "No web address was given. Run \"tarnfetch --help\" for the usage.";
    return args;
  }
  const std::string_view first = argv[1];
  if (argc == 2 && first == "--help") {
    args.action = Arguments::Action::Help;
    return args;
  }
  if (argc == 2 && first == "--version") {
    args.action = Arguments::Action::Version;
    return args;
  }
  // Started by a run that was told its proxy, the check uses it too.
  const bool update = first == "--update-extractor";
  if (update && (argc == 2 || (argc == 4 && std::string_view(argv[2]) == "--proxy"))) {
    int i = 2;
    if (argc == 4 && !(args.problem = ReadOption(argc, argv, i, args.options)).empty()) return args;
    args.action = Arguments::Action::UpdateExtractor;
    return args;
  }
  args.options.url = argv[1];
  for (int i = 2; i < argc; ++i) {
    args.problem = ReadOption(argc, argv, i, args.options);
    if (!args.problem.empty()) return args;
  }
  if (!args.options.cookieFile.empty() && !args.options.cookiesFromBrowser.empty()) {
    args.problem = "Give either --cookies or --cookies-from-browser, not both.";
    return args;
  }
  if (args.options.pathTemplate.empty()) {
    args.problem = "The output path template after -p is empty.";
    return args;
  }
  args.action = Arguments::Action::Download;
  return args;
}

std::string HelpText() {
  return R"(Usage: tarnfetch URL [-p TEMPLATE] [--connections N] [--limit-rate RATE]
                     [--proxy URL]
                     [--cookies FILE | --cookies-from-browser BROWSER[:PROFILE]]
       tarnfetch --help | --version | --update-extractor [--proxy URL]

Downloads the video or audio file at URL. URL may be the address of the file
itself or of a web page that shows it; the page is searched for its media
(og:video tags, <video> and <source> elements, JSON-LD contentUrl).
Only http and https addresses are fetched.

  -p TEMPLATE   where to save the file. The last part of the path may hold
                %(title)s (the title, made safe as a file name) and
                %(ext)s (the file's extension). Missing folders are
                created. Default: %(title)s.%(ext)s in the current folder.
  --connections N
                fetch a file of 8 MiB or more over up to N connections
                at once (1 to 16) when the server sends parts of files.
                Default: from 8 connections, more while each step makes
                the file come faster (up to 16), one fewer whenever the
                server refuses one; the count that worked is remembered
                for a day per server and used first next time.
  --limit-rate RATE
                receive at most RATE bytes a second for the whole
                download, all its connections and segments together;
                K, M and G (either case) stand for 1024, 1024*1024 and
                1024*1024*1024, e.g. 500K, 2M, 1.5M. 0: no limit. A
                limited download does not add connections to go faster.
  --proxy URL   send every request through this proxy (http://, https://,
                socks5:// or socks5h://HOST:PORT, with USER:PASSWORD@
                before the host when it needs them); the site extractor is
                told to use it too. Without it, the environment's
                http_proxy, https_proxy and no_proxy apply.
  --cookies FILE
                send the cookies of a Netscape cookie file (as curl and
                yt-dlp write them) where they belong: each only to its
                own host or domain and path, Secure ones only over https
  --cookies-from-browser BROWSER[:PROFILE]
                the same with the cookies of a browser on this computer:
                firefox, chromium, chrome, brave, edge, vivaldi or opera.
                PROFILE is a profile's name or folder; without it, the
                browser's default profile. The store is read from a copy
                and never changed. Chromium's values are decrypted with
                its built-in key or its key in the desktop's secret
                service; other key stores (KWallet) are not read.
                The site extractor gets only the page's site's cookies,
                in a private file removed once it has answered. Cookie
                values are never printed.
  --help        show this text (only as the sole argument)
  --version     show the version (only as the sole argument)
  --update-extractor
                once a day, fetch a current release of the site extractor
                (yt-dlp) and check its signature; started on its own after
                a run that needed the extractor (only as the sole argument,
                or with --proxy URL after it)

The first argument is always taken as the address, even when it begins
with "-".

The file is written as NAME.part and renamed to NAME when it is complete;
NAME.part.ctl beside it records what the server sent, so that a later run
continues an unfinished NAME.part only while the server still sends the
same file. A complete NAME is not fetched again; a different file already
called NAME is kept, and the download takes the next free name,
"TITLE (2).EXT", "TITLE (3).EXT" and so on.

Output, one marker a line:
  <Go>                        the work has started
  <title>TITLE</title>        the title
  <filename>PATH</filename>   the file being written
  <speed> P% of SIZE at SPEED ETA TIME</speed>
                              progress; 100% once the file is complete
  <skip>PATH</skip>           the complete file is already there
  <connections>N</connections>
                              the connections (segments at a time for a
                              stream) the download settled on
  ERROR: TEXT                 what went wrong

Exit status: 0 when the file was downloaded or already there, 1 when the
download failed, 2 for a wrong command line.
)";
}

}  // namespace tarnfetch
