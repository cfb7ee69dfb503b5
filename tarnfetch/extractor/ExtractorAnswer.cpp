#include "extractor/ExtractorAnswer.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>

#include "core/FetchError.h"
#include "http/Url.h"

namespace tarnfetch {
namespace {

using Json = nlohmann::json;

// The keys kept of the answer and of each of its requested formats; the
// rest (every other format, thumbnails, subtitles) is passed over unread.
constexpr std::array<std::string_view, 10> kKeptKeys{
    "title",  "url",          "protocol", "ext",   "vcodec",
    "acodec", "http_headers", "filesize", "_type", "requested_formats"};

std::string Text(const Json& object, const char* key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool IsHeaderNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

std::vector<std::string> Headers(const Json& format) {
  std::vector<std::string> headers;
  const auto it = format.find("http_headers");
  if (it == format.end() || !it->is_object()) return headers;
  for (const auto& [name, value] : it->items()) {
    if (!value.is_string()) continue;
    const std::string text = value.get<std::string>();
    const bool goodName = !name.empty() && std::all_of(name.begin(), name.end(), IsHeaderNameChar);
    const bool goodValue = text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
    if (!goodName || !goodValue) {
      throw FetchError("The site extractor gave a request header that could break the request (" +
                       std::string(goodName ? "its value" : "its name") +
                       " holds a line break or a character a header name cannot have).");
    }
    headers.push_back(name + ": " + text);
  }
  return headers;
}

ExtractedFormat Format(const Json& format) {
  ExtractedFormat out;
  out.url = Text(format, "url");
  out.protocol = Text(format, "protocol");
  out.extension = Text(format, "ext");
  out.videoCodec = Text(format, "vcodec");
  out.audioCodec = Text(format, "acodec");
  if (const auto size = format.find("filesize");
      size != format.end() && size->is_number_unsigned()) {
    out.size = size->get<std::uint64_t>();
  }
  if (out.url.empty()) throw FetchError("The site extractor named no address for the video.");
  if (!IsWebUrl(out.url)) {
    throw FetchError("The site extractor gave an address that is not http or https: " +
                     out.url.substr(0, 200));
  }
  const bool direct = out.protocol.empty() || out.protocol == "http" || out.protocol == "https";
  if (!direct && !out.IsStream()) {
    throw FetchError("The site extractor chose a kind of stream tarnfetch cannot fetch (" +
                     out.protocol.substr(0, 40) + ").");
  }
  out.headers = Headers(format);
  return out;
}

}  // namespace

ExtractorAnswer ReadExtractorAnswer(std::string_view json) {
  // Keeps the wanted keys of the answer (depth 1) and of each requested
  // format (depth 3: answer, list, format); everything inside them is kept.
  const Json::parser_callback_t keep = [](int depth, Json::parse_event_t event, Json& parsed) {
    if (event != Json::parse_event_t::key || (depth != 1 && depth != 3)) return true;
    const std::string& key = parsed.get_ref<const std::string&>();
    return std::find(kKeptKeys.begin(), kKeptKeys.end(), key) != kKeptKeys.end();
  };
  Json answer = Json::parse(json.begin(), json.end(), keep, /*allow_exceptions=*/false);
  if (!answer.is_object()) throw FetchError("The site extractor's answer could not be read.");
  if (Text(answer, "_type") == "playlist") {
    // A feed of one video is that video.
    const auto entries = answer.find("entries");
    if (entries == answer.end() || !entries->is_array() || entries->size() != 1 ||
        !(*entries)[0].is_object()) {
      throw FetchError("The site extractor found a list of videos on the page, not one video.");
    }
    Json entry = std::move((*entries)[0]);
    if (Text(entry, "title").empty()) entry["title"] = Text(answer, "title");
    answer = std::move(entry);
  }
  ExtractorAnswer result;
  result.title = Text(answer, "title");
  const auto requested = answer.find("requested_formats");
  if (requested != answer.end() && requested->is_array() && requested->size() >= 2) {
    for (const Json& format : *requested) result.formats.push_back(Format(format));
    if (result.formats.size() != 2) {
      throw FetchError("The site extractor chose more than one picture and one sound.");
    }
    // Picture first.
    if (result.formats[0].videoCodec == "none") std::swap(result.formats[0], result.formats[1]);
  } else if (requested != answer.end() && requested->is_array() && requested->size() == 1) {
    result.formats.push_back(Format((*requested)[0]));
  } else {
    result.formats.push_back(Format(answer));
  }
  return result;
}

}  // namespace tarnfetch
