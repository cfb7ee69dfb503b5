#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarnfetch {

// What a web page says about its media.
struct PageMedia {
  static constexpr std::size_t kMaxPerSource = 16;
  static constexpr std::size_t kMaxFrames = 5;

  // Media addresses as written in the page (entity-decoded, not yet made
  // absolute), best first: og:video:secure_url, og:video:url, og:video,
  // twitter:player:stream; <video>, <video-js> and <audio> src, data-src
  // and data-video; <source> (best quality first); <meta
  // itemprop=contentUrl> and <link rel=video_src>; JSON-LD contentUrl;
  // players set up in attributes and scripts (best quality first); last,
  // quoted media addresses in scripts. No duplicates; at most
  // kMaxPerSource from each kind of source.
  std::vector<std::string> addresses;
  // The media type the page declares for some of them (<source type>, a
  // feed's enclosure type), by address as written.
  std::map<std::string, std::string> declaredTypes;
  // Pages to read in turn: a JW Player set-up's playlist feed; <iframe
  // src>, <embed src>, <object data>, in the page's order; then JSON-LD
  // embedUrl and twitter:player when the page names no media. No
  // duplicates, at most kMaxFrames.
  std::vector<std::string> frames;
  // Where media is named, streams in a protocol tarnfetch does not fetch
  // (rtmp://, rtsp://, mms://), at most kMaxPerSource: a page naming only
  // those says so.
  std::vector<std::string> unfetchableStreams;
  // When the page is a feed or playlist (RSS, Atom, SMIL, XSPF, a player's
  // JSON playlist): its items in its order, each with its first address
  // and its title. `addresses` and `title` are then the first item's.
  struct Entry {
    std::string address;
    std::string title;
  };
  std::vector<Entry> entries;
  // og:title, else <title>; read in the page's declared encoding, cleaned
  // by CleanTitle (TitleText.h); may be empty.
  std::string title;
};

// contentType is the page's own, for the charset it may declare.
PageMedia ParsePage(std::string_view html, std::string_view contentType = {});

}  // namespace tarnfetch
