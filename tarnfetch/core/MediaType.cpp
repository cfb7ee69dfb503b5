#include "core/MediaType.h"

#include <algorithm>
#include <array>
#include <utility>

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

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string BareContentType(std::string_view contentType) {
  std::string bare(contentType.substr(0, contentType.find(';')));
  const auto notBlank = [](unsigned char c) { return c > ' '; };
  bare.erase(bare.begin(), std::find_if(bare.begin(), bare.end(), notBlank));
  bare.erase(std::find_if(bare.rbegin(), bare.rend(), notBlank).base(), bare.end());
  std::transform(bare.begin(), bare.end(), bare.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return bare;
}

bool IsMediaContentType(std::string_view contentType) {
  const std::string bare = BareContentType(contentType);
  return StartsWith(bare, "video/") || StartsWith(bare, "audio/");
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

bool IsTextualContentType(std::string_view contentType) {
  const std::string bare = BareContentType(contentType);
  const auto endsWith = [&bare](std::string_view suffix) {
    return bare.size() >= suffix.size() && bare.substr(bare.size() - suffix.size()) == suffix;
  };
  return StartsWith(bare, "text/") || IsPageContentType(bare) || bare == "application/json" ||
         bare == "application/xml" || bare == "application/javascript" || endsWith("+xml") ||
         endsWith("+json");
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

}  // namespace tarnfetch
