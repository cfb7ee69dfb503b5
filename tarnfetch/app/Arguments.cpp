#include "app/Arguments.h"

#include <string_view>

#include "shared/Numbers.h"

namespace tarnfetch {

Arguments ParseArguments(int argc, const char* const* argv) {
  Arguments args;
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
  if (argc == 2 && first == "--update-extractor") {
    args.action = Arguments::Action::UpdateExtractor;
    return args;
  }
  args.url = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (option == "-p" && i + 1 < argc) {
      args.pathTemplate = argv[++i];
    } else if (option == "-p") {
      args.problem = "The option -p needs an output path template after it.";
      return args;
    } else if (option == "--connections") {
      const std::string_view value = i + 1 < argc ? argv[++i] : "";
      const int number = quillmarsh::ReadWholeNumber<int>(value).value_or(0);
      if (number < 1 || number > 16) {
        args.problem = "The option --connections needs a number from 1 to 16 after it.";
        return args;
      }
      args.connections = number;
    } else if (option == "--cookies" || option == "--cookies-from-browser") {
      const std::string_view value = i + 1 < argc ? argv[++i] : "";
      if (value.empty()) {
        args.problem = "The option " + std::string(option) + " needs " +
                       (option == "--cookies" ? "a cookie file" : "a browser") + " after it.";
        return args;
      }
      (option == "--cookies" ? args.cookieFile : args.cookiesFromBrowser) = value;
    } else {
      args.problem = "Unknown argument \"" + std::string(option) +
                     "\". Run \"tarnfetch --help\" for the usage.";
      return args;
    }
  }
  if (!args.cookieFile.empty() && !args.cookiesFromBrowser.empty()) {
    args.problem = "Give either --cookies or --cookies-from-browser, not both.";
    return args;
  }
  if (args.pathTemplate.empty()) {
    args.problem = "The output path template after -p is empty.";
    return args;
  }
  args.action = Arguments::Action::Download;
  return args;
}

std::string HelpText() {
  return R"(Usage: tarnfetch URL [-p TEMPLATE] [--connections N]
                     [--cookies FILE | --cookies-from-browser BROWSER[:PROFILE]]
       tarnfetch --help | --version | --update-extractor

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
                Default: from 4 connections, more while each step makes
                the file come faster (up to 16), one fewer whenever the
                server refuses one; the count that worked is remembered
                for a day per server and used first next time.
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
                a run that needed the extractor (only as the sole argument)

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
