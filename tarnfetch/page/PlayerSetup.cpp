#include "page/PlayerSetup.h"

#include <algorithm>
#include <array>
#include <optional>

#include "core/MediaType.h"
#include "page/FetchableAddress.h"
#include "page/JsonMediaReader.h"
#include "page/ScriptLiteral.h"
#include "shared/Text.h"

namespace tarnfetch {
namespace {

// Real set-ups are a few KiB; a larger literal is read only this far.
constexpr std::size_t kMaxLiteralBytes = 256 * 1024;
// How far after a set-up call's name its object may start.
constexpr std::size_t kMaxCallGap = 512;
// Set-up calls looked at per script, found or not: a script of a million
// "setup(" costs no more than a few.
constexpr std::size_t kMaxCalls = 32;
// The longest address the last-resort scan reads.
constexpr std::size_t kMaxScannedAddress = 4096;

// Where the players keep a media address.
constexpr std::array<std::string_view, 7> kAddressKeys{"file", "src", "contentUrl", "mp4",
                                                       "webm", "hls", "dash"};

// Calls whose arguments hold a player's set-up.
constexpr std::array<std::string_view, 7> kSetupCalls{
    ".setup(", "videojs(", ".src(", "flowplayer(", "new Plyr(", ".source =", ".source="};

std::vector<MediaCandidate> AddressesInLiteral(std::string_view literal, std::size_t maxCount) {
  const std::string json = ScriptLiteralToJson(literal.substr(0, kMaxLiteralBytes));
  std::vector<MediaCandidate> found = MediaInJson(json, kAddressKeys, maxCount);
  found.erase(std::remove_if(found.begin(), found.end(),
                             [](const MediaCandidate& candidate) {
                               return IsClearlyNotMedia(candidate.address);
                             }),
              found.end());
  return found;
}

// The start of the first object or array among a call's arguments, passing
// over quoted ones; npos when the call ends first.
std::size_t FirstLiteral(std::string_view script, std::size_t from) {
  const std::size_t stop = std::min(script.size(), from + kMaxCallGap);
  int nesting = 0;  // inner calls: videojs(document.getElementById("v"), {...})
  for (std::size_t pos = from; pos < stop; ++pos) {
    const char c = script[pos];
    if (c == '{' || c == '[') return pos;
    if (c == '(') ++nesting;
    if ((c == ')' && nesting-- == 0) || c == ';') return std::string_view::npos;
    if (c == '"' || c == '\'') {
      const std::size_t close = script.find(c, pos + 1);
      if (close == std::string_view::npos || close >= stop) return std::string_view::npos;
      pos = close;
    }
  }
  return std::string_view::npos;
}

// Stream players that are handed an address rather than a set-up:
// dash.js's MediaPlayer().create().initialize(element, "URL", autoplay)
// and attachSource("URL"), Shaka Player's player.load("URL"). `load(` is
// common elsewhere, so only stream and media addresses count there.
struct LoaderCall {
  std::string_view name;
  int argument;
  bool mediaOnly;
};
constexpr std::array<LoaderCall, 3> kLoaderCalls{
    {{".initialize(", 1, false}, {".attachSource(", 0, false}, {".load(", 0, true}}};

// The text of a call's argument when it is a quoted string without escapes.
std::optional<std::string> QuotedArgument(std::string_view script, std::size_t from, int index) {
  const std::size_t stop = std::min(script.size(), from + kMaxCallGap);
  int argument = 0;
  int nesting = 0;
  for (std::size_t pos = from; pos < stop; ++pos) {
    const char c = script[pos];
    if (c == '"' || c == '\'' || c == '`') {
      const std::size_t close = script.find(c, pos + 1);
      if (close == std::string_view::npos || close >= stop) return std::nullopt;
      const std::string_view text = script.substr(pos + 1, close - pos - 1);
      if (nesting == 0 && argument == index && text.find('\\') == std::string_view::npos) {
        return std::string(text);
      }
      pos = close;
    } else if (c == '(' || c == '[' || c == '{') {
      ++nesting;
    } else if (c == ')' || c == ']' || c == '}') {
      if (nesting-- == 0) return std::nullopt;
    } else if (c == ',' && nesting == 0) {
      if (++argument > index) return std::nullopt;
    } else if (c == ';') {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

void AddLoaderAddresses(std::string_view script, std::size_t maxCount,
                        std::vector<MediaCandidate>& found) {
  std::size_t calls = 0;
  for (const LoaderCall& call : kLoaderCalls) {
    for (std::size_t at = script.find(call.name);
         at != std::string_view::npos && calls < kMaxCalls && found.size() < maxCount;
         at = script.find(call.name, at + call.name.size())) {
      ++calls;
      auto address = QuotedArgument(script, at + call.name.size(), call.argument);
      if (!address || !IsFetchableAddress(*address) || IsClearlyNotMedia(*address)) continue;
      const std::string extension = PathExtension(*address);
      if (call.mediaOnly && !IsMediaExtension(extension) && !IsStreamExtension(extension)) continue;
      found.push_back({std::move(*address)});
    }
  }
}

// A quoted relative address of a stream ('/vod/x.mpd', "../hls/master.m3u8"),
// as players are handed through a variable. Every quote may open a string,
// read up to the next quote of its kind on the same line, so that the scan
// stays linear whatever the quotes' pairing.
void AddRelativeStreams(std::string_view script, std::size_t maxCount,
                        std::vector<std::string>& found) {
  for (std::size_t pos = script.find_first_of("\"'`");
       pos != std::string_view::npos && found.size() < maxCount;
       pos = script.find_first_of("\"'`", pos + 1)) {
    const std::string_view rest = script.substr(pos + 1, kMaxScannedAddress);
    const std::size_t close = rest.find_first_of(std::string{script[pos]} + " \n\r");
    if (close == std::string_view::npos || rest[close] != script[pos]) continue;
    std::string address(rest.substr(0, close));
    for (std::size_t slash; (slash = address.find("\\/")) != std::string::npos;) {
      address.erase(slash, 1);
    }
    if (address.empty() || address.find("://") != std::string::npos || address.starts_with("//") ||
        !IsFetchableAddress(address) || !IsStreamExtension(PathExtension(address)) ||
        std::find(found.begin(), found.end(), address) != found.end()) {
      continue;
    }
    found.push_back(std::move(address));
  }
}

// JW Player is handed a feed of its own as `playlist: "URL"` (JSON or RSS).
constexpr std::array<std::string_view, 1> kFeedKeys{"playlist"};

}  // namespace

std::vector<std::string> PlayerFeedAddresses(std::string_view script, std::size_t maxCount) {
  std::vector<std::string> found;
  std::size_t calls = 0;
  for (std::size_t at = script.find(kSetupCalls[0]);
       at != std::string_view::npos && calls < kMaxCalls && found.size() < maxCount;
       at = script.find(kSetupCalls[0], at + kSetupCalls[0].size())) {
    ++calls;
    const std::size_t literal = FirstLiteral(script, at + kSetupCalls[0].size());
    if (literal == std::string_view::npos) continue;
    const std::string json = ScriptLiteralToJson(script.substr(literal, kMaxLiteralBytes));
    for (auto& feed : MediaInJson(json, kFeedKeys, maxCount - found.size())) {
      if (IsFetchableAddress(feed.address)) found.push_back(std::move(feed.address));
    }
  }
  return found;
}

std::vector<MediaCandidate> PlayerAttributeAddresses(std::string_view config,
                                                     std::size_t maxCount) {
  return AddressesInLiteral(config, maxCount);
}

std::vector<MediaCandidate> PlayerScriptAddresses(std::string_view script, std::size_t maxCount) {
  std::vector<MediaCandidate> found;
  std::size_t calls = 0;
  for (const std::string_view call : kSetupCalls) {
    for (std::size_t at = script.find(call); at != std::string_view::npos && calls < kMaxCalls;
         at = script.find(call, at + call.size())) {
      ++calls;
      const std::size_t literal = FirstLiteral(script, at + call.size());
      if (literal == std::string_view::npos) continue;
      for (auto& candidate : AddressesInLiteral(script.substr(literal), maxCount - found.size())) {
        found.push_back(std::move(candidate));
      }
      if (found.size() >= maxCount) return found;
    }
  }
  AddLoaderAddresses(script, maxCount, found);
  return found;
}

std::vector<std::string> ScriptMediaAddresses(std::string_view script, std::size_t maxCount) {
  std::vector<std::string> found;
  std::size_t pos = 0;
  while (found.size() < maxCount) {
    pos = script.find("http", pos);
    if (pos == std::string_view::npos) break;
    const char quote = pos > 0 ? script[pos - 1] : '\0';
    if (quote != '"' && quote != '\'' && quote != '`') {
      pos += 4;
      continue;
    }
    // Read to the closing quote; the next search starts where this one
    // stopped, so that the scan stays linear in the script's size.
    std::string address;
    bool closed = false;
    for (; pos < script.size() && address.size() < kMaxScannedAddress; ++pos) {
      const char c = script[pos];
      if (c == quote) {
        closed = true;
        break;
      }
      if (c == '\n' || c == '\r' || c == ' ') break;
      if (c == '\\' && script.substr(pos, 2) == "\\/") {
        address += '/';
        ++pos;
      } else if (c == '\\' &&
                 (script.substr(pos, 6) == "\\u002F" || script.substr(pos, 6) == "\\u002f")) {
        address += '/';
        pos += 5;
      } else if (c == '\\' && script.substr(pos, 6) == "\\u0026") {
        address += '&';
        pos += 5;
      } else {
        address += c;
      }
    }
    const bool web = (address.starts_with("http://") || address.starts_with("https://")) &&
                     IsFetchableAddress(address);
    const std::string extension = PathExtension(address);
    if (closed && web && (IsMediaExtension(extension) || IsStreamExtension(extension)) &&
        std::find(found.begin(), found.end(), address) == found.end()) {
      found.push_back(std::move(address));
    }
  }
  AddRelativeStreams(script, maxCount, found);
  return found;
}

}  // namespace tarnfetch
