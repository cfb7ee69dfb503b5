#include "http/ServerName.h"

#include <curl/curl.h>

#include <memory>

namespace tarnfetch {
namespace {

struct UrlFree {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

std::string Part(CURLU* url, CURLUPart part, unsigned flags) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, flags) != CURLUE_OK || text == nullptr) return {};
  std::string value(text);
  curl_free(text);
  return value;
}

}  // namespace

std::string ServerName(std::string_view url) {
  std::unique_ptr<CURLU, UrlFree> parsed(curl_url());
  if (!parsed) return {};
  const std::string copy(url);
  if (curl_url_set(parsed.get(), CURLUPART_URL, copy.c_str(), 0) != CURLUE_OK) return {};
  std::string host = Part(parsed.get(), CURLUPART_HOST, 0);
  const std::string port = Part(parsed.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
  if (host.empty() || port.empty()) return {};
  for (char& c : host) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return host + ":" + port;
}

}  // namespace tarnfetch
