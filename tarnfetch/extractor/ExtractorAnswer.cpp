#include "extractor/ExtractorAnswer.h"

#include <algorithm>
#include <array>

#include "core/FetchError.h"
#include "core/MediaType.h"
#include "download/FragmentPlaylist.h"
#include "extractor/AnswerKeys.h"
#include "http/Url.h"
#include "shared/ProgramVocabulary.h"
#include "shared/Text.h"

namespace tarnfetch {
namespace {

// Headers that would change how the answer comes (its encoding, its
// framing, which bytes): tarnfetch sets these itself, or the body would
// not be the video it expects.
constexpr std::array<std::string_view, 9> kOwnHeaders{"accept-encoding",
                                                      "te",
                                                      "content-encoding",
                                                      "transfer-encoding",
                                                      "content-length",
                                                      "connection",
                                                      "range",
                                                      "upgrade",
                                                      "expect"};

bool IsHeaderNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsOwnHeader(const std::string& name) {
  const std::string lower = quillmarsh::LowerAscii(name);
  return std::find(kOwnHeaders.begin(), kOwnHeaders.end(), lower) != kOwnHeaders.end();
}

std::vector<std::string> Headers(const KeptFormat& format) {
  std::vector<std::string> headers;
  for (const auto& [name, text] : format.headers) {
    const bool goodName = !name.empty() && std::all_of(name.begin(), name.end(), IsHeaderNameChar);
    const bool goodValue = text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
    if (!goodName || !goodValue) {
      throw FetchError("The site extractor gave a request header that could break the request (" +
                       std::string(goodName ? "its value" : "its name") +
                       " holds a line break or a character a header name cannot have).");
    }
    if (!IsOwnHeader(name)) headers.push_back(name + ": " + text);
  }
  return headers;
}

// A DASH format: its pieces as a media playlist when the answer lists them,
// else its manifest, from which the stream path chooses.
void ReadDashFormat(const KeptFormat& format, ExtractedFormat& out) {
  if (format.fragments.empty()) {
    if (!format.manifestUrl.empty()) out.url = format.manifestUrl;
    return;
  }
  const std::string base = !format.fragmentBaseUrl.empty() ? format.fragmentBaseUrl
                           : !format.url.empty()           ? format.url
                                                           : format.manifestUrl;
  if (!IsWebUrl(base)) {
    throw FetchError("The site extractor gave an address that is not http or https: " +
                     base.substr(0, 200));
  }
  std::vector<StreamFragment> fragments;
  fragments.reserve(format.fragments.size());
  for (const KeptFragment& fragment : format.fragments) {
    const std::string& address = !fragment.url.empty() ? fragment.url : fragment.path;
    if (address.empty())
      throw FetchError("The site extractor's stream names a piece without address.");
    fragments.push_back({address, fragment.duration});
  }
  out.playlist = FragmentPlaylist(base, fragments);
  // The pieces' host is not the one the headers were given for.
  out.headersOrigin = !format.url.empty() ? format.url : format.manifestUrl;
  out.url = base;
}

ExtractedFormat Format(const KeptFormat& format) {
  ExtractedFormat out;
  out.url = format.url;
  out.protocol = format.protocol;
  // Names the file: only a media extension is taken, else the probe decides.
  if (IsMediaExtension(format.ext)) out.extension = format.ext;
  out.videoCodec = format.vcodec;
  out.audioCodec = format.acodec;
  out.size = format.filesize;
  if (out.IsDash()) ReadDashFormat(format, out);
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
  if (out.headersOrigin.empty()) out.headersOrigin = out.url;
  return out;
}

void RefuseUnread(const KeptKeys& kept) {
  using Outcome = KeptKeys::Outcome;
  switch (kept.outcome) {
    case Outcome::Read:
      if (kept.isObject) return;
      [[fallthrough]];
    case Outcome::NotJson:
      throw FetchError("The site extractor's answer could not be read.");
    case Outcome::TooDeep:
      throw FetchError("The site extractor's answer is nested more than " +
                       std::to_string(KeptKeys::kMaxDepth) + " levels deep.");
    case Outcome::TokenTooLong:
      throw FetchError(
          "The site extractor's answer holds a value, or a run of brackets, longer "
          "than " +
          std::to_string(AnswerBytes::kMaxTokenBytes >> 20) + " MiB.");
    case Outcome::Deadline:
      throw FetchError("The site extractor's answer could not be read in time.");
    case Outcome::TooManyFragments:
      throw FetchError("The site extractor's stream lists more pieces than tarnfetch takes (" +
                       std::to_string(KeptFormat::kMaxFragments) + ", with " +
                       std::to_string(KeptFormat::kMaxFragmentBytes >> 20) + " MiB of addresses).");
    case Outcome::TooManyHeaders:
      throw FetchError("The site extractor gave more than " +
                       std::to_string(KeptKeys::kMaxHeaders) + " request headers.");
  }
}

// An entry the extractor listed flat names only a video's page.
bool IsFlat(const KeptAnswer& entry) {
  return entry.type == "url" || entry.type == "url_transparent";
}

// A list, unless it holds one video described in full: that is the video.
bool IsList(const KeptKeys& kept) {
  if (kept.answer.type != "playlist" || kept.entryCount == 0) return false;
  return kept.entryCount > 1 || !kept.firstEntry || IsFlat(*kept.firstEntry);
}

VideoList ListOf(const KeptKeys& kept) {
  VideoList list;
  const auto add = [&list](const std::string& url, const std::string& page,
                           const std::string& title) {
    const std::string& address = page.empty() ? url : page;
    if (IsWebUrl(address))
      list.videos.push_back({address, title});
    else
      ++list.skipped;
  };
  if (kept.firstEntry)
    add(kept.firstEntry->own.url, kept.firstEntry->webpageUrl, kept.firstEntry->title);
  else
    ++list.skipped;
  for (const KeptKeys::Entry& entry : kept.entries) add(entry.url, entry.webpageUrl, entry.title);
  list.cut = kept.entryCount > quillmarsh::kMaxListEntries;
  return list;
}

// The one video of the answer: a feed of one video is that video.
KeptAnswer TheVideo(KeptKeys& kept) {
  if (kept.answer.type != "playlist") return std::move(kept.answer);
  if (kept.entryCount == 1 && kept.firstEntry) {
    KeptAnswer entry = std::move(*kept.firstEntry);
    if (entry.title.empty()) entry.title = std::move(kept.answer.title);
    return entry;
  }
  throw FetchError("The site extractor found a list of videos on the page, but no video in it.");
}

ExtractorAnswer Read(AnswerBytes& bytes) {
  KeptKeys kept = ReadAnswerKeys(bytes);
  RefuseUnread(kept);
  ExtractorAnswer result;
  if (IsList(kept)) {
    result.title = kept.answer.title;
    result.list = ListOf(kept);
    if (result.list->videos.empty()) {
      throw FetchError(
          "The site extractor found a list of videos on the page, but no video in it.");
    }
    return result;
  }
  const KeptAnswer video = TheVideo(kept);
  result.title = video.title;
  if (video.hasRequested && video.requestedCount >= 2) {
    if (video.requestedCount != 2) {
      throw FetchError("The site extractor chose more than one picture and one sound.");
    }
    for (const KeptFormat& format : video.requested) result.formats.push_back(Format(format));
    if (result.formats.size() != 2)
      throw FetchError("The site extractor named no address for the video.");
    // Picture first.
    if (result.formats[0].videoCodec == "none") std::swap(result.formats[0], result.formats[1]);
  } else if (video.hasRequested && video.requestedCount == 1 && video.requested.size() == 1) {
    result.formats.push_back(Format(video.requested[0]));
  } else {
    result.formats.push_back(Format(video.own));
  }
  return result;
}

}  // namespace

ExtractorAnswer ReadExtractorAnswer(std::string_view json) {
  AnswerBytes bytes(json);
  return Read(bytes);
}

ExtractorAnswer ReadExtractorAnswer(std::FILE* file,
                                    std::chrono::steady_clock::time_point deadline) {
  AnswerBytes bytes(file, deadline);
  return Read(bytes);
}

}  // namespace tarnfetch
