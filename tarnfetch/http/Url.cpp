#include "http/Url.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>

#include "core/FetchError.h"
#include "shared/Text.h"

namespace tarnfetch {
namespace {

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

struct CurlTextDeleter {
  void operator()(char* text) const { curl_free(text); }
};
using CurlText = std::unique_ptr<char, CurlTextDeleter>;

// Blanks inside an address are common in pasted text; encode them instead of
// refusing the address.
constexpr unsigned kParseFlags = CURLU_NON_SUPPORT_SCHEME | CURLU_ALLOW_SPACE | CURLU_URLENCODE;

std::optional<std::string> Part(CURLU* url, CURLUPart part, unsigned flags = 0) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, flags) != CURLUE_OK || text == nullptr) return std::nullopt;
  CurlText owned(text);
  return std::string(owned.get());
}

UrlHandle Parse(std::string_view text) {
  UrlHandle url(curl_url());
  if (!url) return nullptr;
  const std::string copy(text);
  if (curl_url_set(url.get(), CURLUPART_URL, copy.c_str(), kParseFlags) != CURLUE_OK) {
    return nullptr;
  }
  return url;
}

bool IsWebScheme(CURLU* url) {
  const auto scheme = Part(url, CURLUPART_SCHEME);
  return scheme && (*scheme == "http" || *scheme == "https");
}

// "scheme://host:port" with the default port filled in, for comparisons.
std::string OriginKey(CURLU* url) {
  return quillmarsh::LowerAscii(Part(url, CURLUPART_SCHEME).value_or("")) + "://" +
         quillmarsh::LowerAscii(Part(url, CURLUPART_HOST).value_or("")) + ":" +
         Part(url, CURLUPART_PORT, CURLU_DEFAULT_PORT).value_or("");
}

}  // namespace

std::string CheckUserUrl(std::string_view text) {
  const std::string trimmed = quillmarsh::Trim(text);
  if (trimmed.empty()) throw FetchError("No web address was given.");
  const bool hasScheme = trimmed.find("://") != std::string_view::npos;
  const UrlHandle url = hasScheme ? Parse(trimmed) : nullptr;
  if (!url) {
    throw FetchError("\"" + std::string(trimmed) +
                     "\" is not a web address; it must begin with http:// or https://.");
  }
  if (!IsWebScheme(url.get())) {
    throw FetchError("Only http and https addresses can be downloaded, not \"" +
                     std::string(trimmed) + "\".");
  }
  const auto normal = Part(url.get(), CURLUPART_URL);
  if (!normal) throw FetchError("\"" + std::string(trimmed) + "\" is not a web address.");
  return *normal;
}

std::optional<std::string> ResolveUrl(std::string_view base, std::string_view reference) {
  const UrlHandle url = Parse(base);
  if (!url) return std::nullopt;
  const std::string copy(reference);
  if (curl_url_set(url.get(), CURLUPART_URL, copy.c_str(), kParseFlags) != CURLUE_OK) {
    return std::nullopt;
  }
  return Part(url.get(), CURLUPART_URL);
}

bool IsWebUrl(std::string_view url) {
  const UrlHandle parsed = Parse(url);
  return parsed && IsWebScheme(parsed.get());
}

std::string UrlFileName(std::string_view url) {
  const UrlHandle parsed = Parse(url);
  if (!parsed) return {};
  const auto path = Part(parsed.get(), CURLUPART_PATH);
  if (!path) return {};
  const std::string segment = path->substr(path->rfind('/') + 1);
  int length = 0;
  char* decoded =
      curl_easy_unescape(nullptr, segment.c_str(), static_cast<int>(segment.size()), &length);
  if (decoded == nullptr) return segment;
  CurlText owned(decoded);
  return std::string(owned.get(), static_cast<std::size_t>(length));
}

std::string UrlFileExtension(std::string_view url) {
  const std::string name = UrlFileName(url);
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return {};
  return quillmarsh::LowerAscii(name.substr(dot + 1));
}

bool SameOrigin(std::string_view a, std::string_view b) {
  const UrlHandle first = Parse(a);
  const UrlHandle second = Parse(b);
  return first && second && IsWebScheme(first.get()) &&
         OriginKey(first.get()) == OriginKey(second.get());
}

std::string RefererFor(std::string_view page, std::string_view target) {
  const UrlHandle from = Parse(page);
  const UrlHandle to = Parse(target);
  if (!from || !to || !IsWebScheme(from.get()) || !IsWebScheme(to.get())) return {};
  const std::string fromKey = OriginKey(from.get());
  if (fromKey.starts_with("https:") && OriginKey(to.get()).starts_with("http:")) return {};
  curl_url_set(from.get(), CURLUPART_USER, nullptr, 0);
  curl_url_set(from.get(), CURLUPART_PASSWORD, nullptr, 0);
  curl_url_set(from.get(), CURLUPART_OPTIONS, nullptr, 0);
  curl_url_set(from.get(), CURLUPART_FRAGMENT, nullptr, 0);
  if (fromKey != OriginKey(to.get())) {
    curl_url_set(from.get(), CURLUPART_PATH, "/", 0);
    curl_url_set(from.get(), CURLUPART_QUERY, nullptr, 0);
  }
  return Part(from.get(), CURLUPART_URL).value_or("");
}

std::string ServerName(std::string_view url) {
  const UrlHandle parsed = Parse(url);
  if (!parsed) return {};
  const auto host = Part(parsed.get(), CURLUPART_HOST);
  const auto port = Part(parsed.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
  if (!host || host->empty() || !port) return {};
  return quillmarsh::LowerAscii(*host) + ":" + *port;
}

}  // namespace tarnfetch
