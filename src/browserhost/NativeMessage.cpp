#include "browserhost/NativeMessage.h"

#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>

#include "missions/AddressesInText.h"
#include "missions/HandOffMessage.h"
#include "shared/Text.h"

namespace quillmarsh {

NativeRead ReadNativeMessage(std::FILE* in, std::string& json, std::string& error) {
  std::uint32_t length = 0;
  const std::size_t got = std::fread(&length, 1, sizeof length, in);
  if (got == 0 && std::feof(in)) return NativeRead::End;
  if (got != sizeof length) return error = "the message length is cut short", NativeRead::Broken;
  if (length > kHandOffMaxBytes) return error = std::string(kHandOffTooLarge), NativeRead::Broken;
  json.resize(length);
  if (std::fread(json.data(), 1, length, in) != length)
    return error = "the message is shorter than its length", NativeRead::Broken;
  return NativeRead::Message;
}

void WriteNativeMessage(std::FILE* out, const std::string& json) {
  const auto length = static_cast<std::uint32_t>(json.size());
  std::fwrite(&length, 1, sizeof length, out);
  std::fwrite(json.data(), 1, json.size(), out);
  std::fflush(out);
}

std::vector<std::string> RequestedUrls(const std::string& json, std::string& error) {
  const nlohmann::json request = nlohmann::json::parse(json, nullptr, false);
  if (request.is_discarded()) return error = "the message is not JSON", std::vector<std::string>{};
  const auto list = request.is_object() ? request.find("urls") : request.end();
  if (list == request.end() || !list->is_array() || list->empty())
    return error = "expected {\"urls\": [addresses]}", std::vector<std::string>{};
  if (list->size() > kHandOffMaxAddresses)
    return error = "more than 5000 addresses", std::vector<std::string>{};
  std::vector<std::string> urls;
  for (const nlohmann::json& entry : *list) {
    const std::string url = entry.is_string() ? Trim(entry.get<std::string>()) : std::string();
    if (AddressesInText(url) != std::vector<std::string>{url})
      return error = "not an http(s) address: " + entry.dump().substr(0, 200),
             std::vector<std::string>{};
    urls.push_back(url);
  }
  return urls;
}

std::string AddedAnswer(int added) {
  return nlohmann::json{{"ok", true}, {"added", added}}.dump();
}

std::string ErrorAnswer(const std::string& error) {
  return nlohmann::json{{"ok", false}, {"error", error}}.dump(
      -1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace quillmarsh
