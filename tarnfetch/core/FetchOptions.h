#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/RateLimit.h"

namespace tarnfetch {

class CookieJar;

// Every setting of one run, filled once from the command line (and from
// [Config] where a setting lives there) and handed down whole to where
// requests and child programs are set up. A new setting is a field here, a
// line in the argument parser and the line that uses it.
struct FetchOptions {
  // connections' value for a count that adapts to the server.
  static constexpr int kAdaptive = 0;
  static constexpr long kStallSeconds = 60;

  std::string url;
  std::string pathTemplate = "%(title)s.%(ext)s";
  // Per file, for large files from servers that send parts; kAdaptive:
  // adapts to the server.
  int connections = kAdaptive;
  // Shared by every transfer of the run, on every thread, so that the
  // speed limit holds for the download as a whole. Null: no limit.
  std::shared_ptr<RateLimit> rateLimit;
  // Every request goes through it ("http://", "https://", "socks5://",
  // "socks5h://" as libcurl takes them); empty: the environment's
  // http_proxy, https_proxy and no_proxy apply.
  std::string proxy;
  // A transfer slower than one byte a second for this long has stalled and
  // is tried again. Only tests shorten it (TARNFETCH_TEST_STALL_SECONDS).
  long stallSeconds = kStallSeconds;
  // The user's cookies as the command line names them: a Netscape cookie
  // file, or a browser's store ("BROWSER[:PROFILE]"); and, once read, the
  // cookies themselves (null: none of the user's cookies are sent).
  std::string cookieFile;
  std::string cookiesFromBrowser;
  std::shared_ptr<const CookieJar> cookies;

  // Bytes a second all transfers together may receive; 0: no limit.
  std::uint64_t LimitRate() const { return rateLimit ? rateLimit->BytesPerSecond() : 0; }
};

}  // namespace tarnfetch
