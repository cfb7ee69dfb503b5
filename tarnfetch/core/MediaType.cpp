#include "core/MediaType.h"

#include <algorithm>
#include <array>
#include <utility>

#include "shared/Text.h"

namespace tarnfetch {
namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 22> kTypeExtensions{{
    {"video/mp4", "mp4"},       {"video/webm", "webm"},     {"video/x-matroska", "mkv"},
    {"video/quicktime", "mov"}, {"video/x-msvideo", "avi"}, {"video/x-flv", "flv"},
    {"video/x-ms-wmv", "wmv"},  {"video/mpeg", "mpg"},      {"video/mp2t", "ts"},
    {"video/3gpp", "3gp"},      {"video/ogg", "ogv"},       {"video/x-m4v", "m4v"},
    {"audio/mpeg", "mp3"},      {"audio/mp4", "m4a"},       {"audio/x-m4a", "m4a"},
    {"audio/aac", "aac"},       {"audio/ogg", "ogg"},       {"audio/opus", "opus"},
    {"audio/webm", "weba"},     {"audio/wav", "wav"},       {"audio/x-wav", "wav"},
    {"audio/flac", "flac"},
}};

constexpr std::array<std::string_view, 22> kMediaExtensions{
    "mp4", "m4v", "webm", "mkv", "mov", "avi", "flv", "wmv",  "mpg", "mpeg", "ts",
    "3gp", "ogv", "ogg",  "oga", "mp3", "m4a", "aac", "opus", "wav", "flac", "weba"};

}  // namespace

std::string BareContentType(std::string_view contentType) {
  return quillmarsh::LowerAscii(quillmarsh::Trim(contentType.substr(0, contentType.find(';'))));
}

bool IsMediaContentType(std::string_view contentType) {
  const std::string bare = BareContentType(contentType);
  return bare.starts_with("video/") || bare.starts_with("audio/");
}

bool IsPageContentType(std::string_view contentType) {
  const std::string bare = BareContentType(contentType);
  return bare == "text/html" || bare == "application/xhtml+xml";
}

bool IsStreamContentType(std::string_view contentType) {
  const std::string bare = BareContentType(contentType);
  return bare == "application/vnd.apple.mpegurl" || bare == "application/x-mpegurl" ||
         bare == "audio/mpegurl" || bare == "audio/x-mpegurl" || bare == "application/dash+xml" ||
         bare == "video/vnd.mpeg.dash.mpd";
}

bool IsFeedContentType(std::string_view contentType) {
  static constexpr std::array<std::string_view, 7> kFeeds{
      "application/json",     "application/xml",  "application/rss+xml", "application/atom+xml",
      "application/smil+xml", "application/smil", "application/xspf+xml"};
  const std::string bare = BareContentType(contentType);
  return std::find(kFeeds.begin(), kFeeds.end(), bare) != kFeeds.end();
}

bool IsTextualContentType(std::string_view contentType) {
  const std::string bare = BareContentType(contentType);
  return bare.starts_with("text/") || IsPageContentType(bare) || bare == "application/json" ||
         bare == "application/xml" || bare == "application/javascript" || bare.ends_with("+xml") ||
         bare.ends_with("+json");
}

bool IsStreamExtension(std::string_view extension) {
  return extension == "m3u8" || extension == "mpd";
}

bool IsMediaExtension(std::string_view extension) {
  return std::find(kMediaExtensions.begin(), kMediaExtensions.end(), extension) !=
         kMediaExtensions.end();
}

std::string ChooseExtension(std::string_view contentType, std::string_view addressExtension) {
  const std::string bare = BareContentType(contentType);
  for (const auto& [type, extension] : kTypeExtensions) {
    if (bare == type) return std::string(extension);
  }
  const std::string_view fromAddress = addressExtension;
  const bool plausible = !fromAddress.empty() && fromAddress.size() <= 5 &&
                         std::all_of(fromAddress.begin(), fromAddress.end(), [](unsigned char c) {
                           return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
                         });
  return plausible ? std::string(fromAddress) : "mp4";
}

bool LooksLikeDashManifest(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  while (true) {
    const auto start = text.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) return false;
    text.remove_prefix(start);
    if (!text.starts_with("<!--")) break;
    const auto end = text.find("-->");
    if (end == std::string_view::npos) return false;
    text.remove_prefix(end + 3);
  }
  if (text.starts_with("<?xml")) return true;
  if (!text.starts_with("<")) return false;
  // "<MPD" or a prefixed "<dash:MPD"
  const auto nameEnd = text.find_first_of(" \t\r\n>/", 1);
  const std::string_view name = text.substr(1, nameEnd == std::string_view::npos ? 0 : nameEnd - 1);
  return name == "MPD" || name.ends_with(":MPD");
}

bool LooksLikeText(std::string_view head) {
  if (head.starts_with("\xEF\xBB\xBF")) head.remove_prefix(3);
  head = head.substr(0, 64);
  return !head.empty() && std::all_of(head.begin(), head.end(), [](char c) {
    return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\r' || c == '\n';
  });
}

bool LooksLikeStreamText(std::string_view text) {
  std::string_view start = text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text;
  start.remove_prefix(std::min(start.find_first_not_of(" \t\r\n"), start.size()));
  return start.starts_with("#EXTM3U") || LooksLikeDashManifest(text);
}

}  // namespace tarnfetch
