#include "download/HlsPlaylist.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "core/FetchError.h"
#include "http/Url.h"
#include "http/Validators.h"
#include "shared/Numbers.h"

namespace tarnfetch {
namespace {

struct Attribute {
  std::string_view name;
  std::string_view value;  // without the quotes
};

// NAME=VALUE,NAME="quoted, value",... as in EXT-X-KEY and EXT-X-STREAM-INF.
std::vector<Attribute> ReadAttributes(std::string_view list) {
  std::vector<Attribute> attributes;
  while (!list.empty()) {
    const auto equals = list.find('=');
    if (equals == std::string_view::npos) break;
    Attribute attribute{list.substr(0, equals), {}};
    while (!attribute.name.empty() && attribute.name.front() == ' ')
      attribute.name.remove_prefix(1);
    list.remove_prefix(equals + 1);
    std::size_t end = 0;
    if (!list.empty() && list.front() == '"') {
      const auto close = list.find('"', 1);
      end = close == std::string_view::npos ? list.size() : close + 1;
      attribute.value = list.substr(1, (close == std::string_view::npos ? list.size() : close) - 1);
    } else {
      end = std::min(list.find(','), list.size());
      attribute.value = list.substr(0, end);
    }
    attributes.push_back(attribute);
    list.remove_prefix(end);
    if (!list.empty() && list.front() == ',') list.remove_prefix(1);
  }
  return attributes;
}

std::string_view Find(const std::vector<Attribute>& attributes, std::string_view name) {
  for (const Attribute& attribute : attributes) {
    if (attribute.name == name) return attribute.value;
  }
  return {};
}

bool Has(const std::vector<Attribute>& attributes, std::string_view name) {
  return std::any_of(attributes.begin(), attributes.end(),
                     [name](const Attribute& a) { return a.name == name; });
}

std::uint64_t Number(std::string_view text) {
  std::uint64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// "<length>[@<offset>]": a length of at least one byte, and a range that
// ends inside 64 bits (the request names its last byte).
bool ReadRange(std::string_view text, std::uint64_t& length, std::optional<std::uint64_t>& offset) {
  const auto at = text.find('@');
  length = quillmarsh::ReadWholeNumber<std::uint64_t>(text.substr(0, at)).value_or(0);
  if (length == 0) return false;
  if (at == std::string_view::npos) return true;
  const auto start = quillmarsh::ReadWholeNumber<std::uint64_t>(text.substr(at + 1));
  if (!start || *start > UINT64_MAX - length) return false;
  offset = *start;
  return true;
}

// "0x" and up to 32 hex digits, right-aligned in 16 bytes.
bool ReadIv(std::string_view text, std::array<unsigned char, 16>& iv) {
  if (text.size() < 3 || (!text.starts_with("0x") && !text.starts_with("0X"))) return false;
  text.remove_prefix(2);
  if (text.size() > 32) return false;
  iv.fill(0);
  std::size_t nibble = 0;
  for (auto it = text.rbegin(); it != text.rend(); ++it, ++nibble) {
    const char c = *it;
    int value = 0;
    if (c >= '0' && c <= '9')
      value = c - '0';
    else if (c >= 'a' && c <= 'f')
      value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      value = c - 'A' + 10;
    else
      return false;
    iv[15 - nibble / 2] |= static_cast<unsigned char>(nibble % 2 == 0 ? value : value << 4);
  }
  return true;
}

// A view into the playlist's own text, not a copy as quillmarsh::Trim
// makes: segments keep where their address lies in it.
std::string_view Trimmed(std::string_view line) {
  const auto first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos) return line.substr(line.size());
  return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

}  // namespace

HlsPlaylist::HlsPlaylist(std::string text, std::string url)
    : text_(std::move(text)), url_(std::move(url)) {
  if (text_.size() > kMaxPlaylistBytes) {
    throw FetchError("The playlist is larger than 8 MiB: " + url_);
  }
  std::string_view rest(text_);
  if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);
  if (!Trimmed(rest.substr(0, rest.find_first_of("\r\n"))).starts_with("#EXTM3U")) {
    throw FetchError("The address is not an HLS playlist: " + url_);
  }
  // Room for every address line at once: growing by doubling would need
  // half as much again while copying.
  std::size_t lines = 0;
  for (std::size_t at = rest.find('\n'); at != std::string_view::npos;
       at = rest.find('\n', at + 1)) {
    if (at + 1 < rest.size() && rest[at + 1] != '#' && rest[at + 1] != '\n') ++lines;
  }
  segments_.reserve(std::min(lines, kMaxSegments));
  // Lines end with LF, CR LF or a lone CR; blanks around a line are not
  // part of it (real servers indent tags).
  while (!rest.empty()) {
    const auto end = std::min(rest.find_first_of("\r\n"), rest.size());
    const std::string_view line = Trimmed(rest.substr(0, end));
    ParseLine(line, static_cast<std::size_t>(line.data() - text_.data()));
    const bool crlf = end + 1 < rest.size() && rest[end] == '\r' && rest[end + 1] == '\n';
    rest.remove_prefix(std::min(end + (crlf ? 2 : 1), rest.size()));
  }
  if (IsMaster()) return;
  if (segments_.empty()) throw FetchError("The playlist names no segments: " + url_);
  // ffmpeg reads the joined segments as one format: a mix plays half.
  const auto fragmented = [](const HlsSegment& segment) { return segment.map >= 0; };
  if (std::any_of(segments_.begin(), segments_.end(), fragmented) &&
      !std::all_of(segments_.begin(), segments_.end(), fragmented)) {
    throw FetchError("The playlist mixes MPEG-TS and fragmented MP4 segments: " + url_);
  }
  if (!ended_) {
    throw FetchError(
        "The stream is live (its playlist has no end); only finished streams can be "
        "downloaded: " +
        url_);
  }
}

void HlsPlaylist::ParseLine(std::string_view line, std::size_t at) {
  const auto colon = line.find(':');
  const std::string_view tag = line.substr(0, colon);
  const std::string_view value = colon == std::string_view::npos ? "" : line.substr(colon + 1);
  const std::size_t valueAt = at + tag.size() + 1;
  // Where an attribute's value lies in the text; a missing one is empty and
  // points nowhere, and CheckedUri refuses it.
  const auto placeOf = [&](std::string_view part) {
    return part.data() == nullptr ? at
                                  : valueAt + static_cast<std::size_t>(part.data() - value.data());
  };
  if (line.empty()) return;
  if (line.front() != '#') {
    if (pendingVariant_) {
      pendingVariant_ = false;
      variant_.url = Resolve(CheckedUri(line, at));
      variants_.push_back(variant_);
    } else {
      AddSegment(CheckedUri(line, at));
    }
  } else if (tag == "#EXT-X-STREAM-INF") {
    const auto attributes = ReadAttributes(value);
    variant_ = {};
    variant_.bandwidth = Number(Find(attributes, "BANDWIDTH"));
    const std::string_view resolution = Find(attributes, "RESOLUTION");
    const auto x = resolution.find('x');
    if (x != std::string_view::npos) {
      // A size too large to count is the largest, not what is left of it.
      const std::uint64_t width = Number(resolution.substr(0, x));
      const std::uint64_t height = Number(resolution.substr(x + 1));
      variant_.pixels = height != 0 && width > UINT64_MAX / height ? UINT64_MAX : width * height;
    }
    variant_.audioGroup = Find(attributes, "AUDIO");
    variant_.codecs = Find(attributes, "CODECS");
    pendingVariant_ = true;
  } else if (tag == "#EXT-X-MEDIA") {
    const auto attributes = ReadAttributes(value);
    if (Find(attributes, "TYPE") != "AUDIO") return;
    HlsAudio audio;
    audio.group = Find(attributes, "GROUP-ID");
    audio.isDefault = Find(attributes, "DEFAULT") == "YES";
    audio.autoselect = Find(attributes, "AUTOSELECT") == "YES";
    if (Has(attributes, "URI")) {
      const std::string_view uri = Find(attributes, "URI");
      audio.url = Resolve(CheckedUri(uri, placeOf(uri)));
    }
    audio_.push_back(std::move(audio));
  } else if (tag == "#EXTINF") {
    pending_.duration = std::strtod(std::string(value.substr(0, value.find(','))).c_str(), nullptr);
    if (!(pending_.duration >= 0 && pending_.duration < 1e7)) pending_.duration = 0;
  } else if (tag == "#EXT-X-MEDIA-SEQUENCE") {
    sequence_ = Number(value);
  } else if (tag == "#EXT-X-BYTERANGE") {
    std::optional<std::uint64_t> offset;
    if (!ReadRange(value, pending_.length, offset)) {
      throw FetchError("The playlist has a damaged byte range: " + url_);
    }
    pending_.hasRange = true;
    pending_.offset = offset.value_or(rangeEnd_.value_or(0));
    if (pending_.offset > UINT64_MAX - pending_.length) {
      throw FetchError("The playlist has a damaged byte range: " + url_);
    }
  } else if (tag == "#EXT-X-DISCONTINUITY") {
    pending_.discontinuity = true;
  } else if (tag == "#EXT-X-ENDLIST") {
    ended_ = true;
  } else if (tag == "#EXT-X-KEY") {
    const auto attributes = ReadAttributes(value);
    const std::string_view method = Find(attributes, "METHOD");
    if (method == "NONE") {
      key_ = -1;
      return;
    }
    if (method.starts_with("SAMPLE-AES")) {
      throw FetchError("The stream is protected with " + std::string(method) +
                       " (DRM) and cannot be downloaded: " + url_);
    }
    const std::string_view format = Find(attributes, "KEYFORMAT");
    if (Has(attributes, "KEYFORMAT") && format != "identity") {
      throw FetchError("The stream is protected by DRM (KEYFORMAT " + std::string(format) +
                       ") and cannot be downloaded: " + url_);
    }
    if (method != "AES-128") {
      throw FetchError("The stream is encrypted with an unknown method (" + std::string(method) +
                       "): " + url_);
    }
    HlsKey key;
    const std::string_view uri = Find(attributes, "URI");
    key.uri = CheckedUri(uri, placeOf(uri));
    if (Has(attributes, "IV")) {
      key.hasIv = ReadIv(Find(attributes, "IV"), key.iv);
      if (!key.hasIv) throw FetchError("The playlist has a damaged key IV: " + url_);
    }
    keys_.push_back(key);
    key_ = static_cast<std::int32_t>(keys_.size() - 1);
  } else if (tag == "#EXT-X-MAP") {
    const auto attributes = ReadAttributes(value);
    HlsMap map;
    const std::string_view uri = Find(attributes, "URI");
    map.uri = CheckedUri(uri, placeOf(uri));
    if (Has(attributes, "BYTERANGE")) {
      std::optional<std::uint64_t> offset;
      if (!ReadRange(Find(attributes, "BYTERANGE"), map.length, offset)) {
        throw FetchError("The playlist has a damaged byte range: " + url_);
      }
      map.hasRange = true;
      map.offset = offset.value_or(0);
    }
    maps_.push_back(map);
    map_ = static_cast<std::int32_t>(maps_.size() - 1);
  }
}

void HlsPlaylist::AddSegment(TextSpan uri) {
  if (segments_.size() == kMaxSegments) {
    throw FetchError("The playlist has more than 100,000 segments: " + url_);
  }
  HlsSegment segment = pending_;
  segment.uri = uri;
  segment.key = key_;
  segment.map = map_;
  segment.sequence = sequence_ + segments_.size();
  if (segment.hasRange) rangeEnd_ = segment.offset + segment.length;
  totalDuration_ += segment.duration;
  segments_.push_back(segment);
  pending_ = {};
}

TextSpan HlsPlaylist::CheckedUri(std::string_view value, std::size_t at) const {
  const TextSpan span{static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(value.size())};
  const auto absolute = ResolveUrl(url_, value);
  if (value.empty() || !absolute || !IsWebUrl(*absolute)) {
    throw FetchError("The playlist names an address that is not http or https (" +
                     std::string(value.substr(0, 200)) + "): " + url_);
  }
  return span;
}

const HlsVariant& HlsPlaylist::Best() const {
  return *std::max_element(variants_.begin(), variants_.end(), [](const auto& a, const auto& b) {
    return a.bandwidth != b.bandwidth ? a.bandwidth < b.bandwidth : a.pixels < b.pixels;
  });
}

std::optional<HlsAudio> HlsPlaylist::SeparateAudio(const HlsVariant& variant) const {
  const HlsAudio* chosen = nullptr;
  const auto rank = [](const HlsAudio& audio) { return audio.isDefault ? 2 : audio.autoselect; };
  for (const HlsAudio& audio : audio_) {
    if (variant.audioGroup.empty() || audio.group != variant.audioGroup) continue;
    if (chosen == nullptr || rank(audio) > rank(*chosen)) chosen = &audio;
  }
  if (chosen == nullptr || chosen->url.empty()) return std::nullopt;
  return *chosen;
}

std::string HlsPlaylist::Resolve(TextSpan uri) const {
  return ResolveUrl(url_, std::string_view(text_).substr(uri.offset, uri.length)).value_or("");
}

std::string HlsPlaylist::Fingerprint() const {
  // FNV-1a over what identifies each segment apart from its address, and
  // over the playlist's own: another stream's with the same segments is
  // not this one.
  std::uint64_t hash = 1469598103934665603ull;
  const auto mix = [&hash](std::uint64_t value) {
    for (int i = 0; i < 8; ++i, value >>= 8) {
      hash ^= value & 0xFF;
      hash *= 1099511628211ull;
    }
  };
  for (const char c : FileAddress(url_)) mix(static_cast<unsigned char>(c));
  for (const HlsSegment& segment : segments_) {
    mix(static_cast<std::uint64_t>(segment.duration * 1000));
    mix(segment.offset);
    mix(segment.length);
    mix(static_cast<std::uint64_t>(segment.key + 1));
    mix(static_cast<std::uint64_t>(segment.map + 1));
  }
  return std::to_string(segments_.size()) + "-" + std::to_string(hash);
}

}  // namespace tarnfetch
